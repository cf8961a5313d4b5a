#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "core/ScwFile.h"
#include "tests/DocTestSupport.h"

namespace {

class DocumentFileTest : public ::testing::Test, public DocFixture {
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    static QByteArray Read(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool Write(const std::string& path, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
};

} // namespace

TEST_F(DocumentFileTest, SaveAndOpenKeepWhatTheUserBuilt) {
    ServerInfo* fav = AddServer(0x0A000002, 27015, GROUP_FAVOURITES);
    fav->m_strAnnotation = "line one\r\nline two";
    fav->m_nPlayers = 5;
    fav->m_strGame = "cstrike";
    fav->SetPlayers(std::make_unique<PlayerList>(1));
    AddServer(0x0A000001, 27016, GROUP_MANUAL)->m_strHostName = "example.org";
    SearchQuery* q = doc->AddQuery(std::make_unique<SearchQuery>("f", "^\\[TAG\\]", QF_REGEX));
    q->m_bWatch = true;
    fav->m_nWatchKind = WATCH_MIN_PLAYERS;
    fav->m_nWatchCount = 12;
    doc->m_filter.m_dwFlags = FILTER_GAME;
    doc->m_filter.m_strGame = "cstrike";
    ASSERT_TRUE(doc->OnSaveDocument(Path("a.scw")));
    EXPECT_FALSE(doc->IsModified());

    DocFixture other;
    ASSERT_TRUE(other.doc->OnOpenDocument(Path("a.scw")));
    ASSERT_EQ(other.doc->GetServerList().GetSize(), 2);
    const ServerInfo* loaded = other.doc->FindServer(0x0A000002, 27015);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->m_strAnnotation, "line one\r\nline two");
    EXPECT_EQ(loaded->m_nPlayers, 0) << "player counts are not stored";
    EXPECT_FALSE(loaded->m_pPlayers);
    EXPECT_TRUE(loaded->m_dwFlags & GROUP_FILTERED) << "the filter runs after loading";
    ASSERT_EQ(other.doc->GetQueries().size(), 1u);
    EXPECT_TRUE(other.doc->GetQueries()[0]->m_bWatch);
    EXPECT_EQ(loaded->m_nWatchKind, WATCH_MIN_PLAYERS);
    EXPECT_EQ(loaded->m_nWatchCount, 12) << "watch marks travel with the file";
    EXPECT_EQ(other.doc->GetPathName(), Path("a.scw"));
    EXPECT_FALSE(other.doc->IsModified());

    // A file written elsewhere, out of order and with a duplicate, is put in
    // order without it.
    OwningServerList reversed;
    for (const uint32_t address : {3u, 2u, 3u})
        reversed.Append(std::make_unique<ServerInfo>(address, 1));
    const std::vector<uint8_t> bytes = WriteScwFile(reversed, {}, {}, {}, {});
    ASSERT_TRUE(Write(Path("odd.scw"), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                  qsizetype(bytes.size()))));
    ASSERT_TRUE(doc->OnOpenDocument(Path("odd.scw")));
    ASSERT_EQ(doc->GetServerList().GetSize(), 2);
    EXPECT_EQ(doc->GetServerList()[0]->m_dwAddress, 2u);
}

// A damaged or missing file leaves an empty document and says so; a failed
// save keeps the old file and the document modified.
TEST_F(DocumentFileTest, FailuresLoseNothing) {
    AddServer(1, 1);
    ASSERT_TRUE(doc->OnSaveDocument(Path("good.scw")));
    const QByteArray good = Read(Path("good.scw"));
    ASSERT_TRUE(Write(Path("bad.scw"), good.chopped(3)));
    AddServer(2, 1);
    doc->SetModifiedFlag();
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.scw")); // a folder: the rename cannot happen
    EXPECT_FALSE(doc->OnSaveDocument(Path("taken.scw")));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(Read(Path("good.scw")), good);

    doc->AddQuery(std::make_unique<SearchQuery>("q", "x", 0));
    EXPECT_FALSE(doc->OnOpenDocument(Path("bad.scw")));
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
    EXPECT_TRUE(doc->GetQueries().empty());
    EXPECT_FALSE(doc->OnOpenDocument(Path("missing.scw")));
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{"Failed to save document.", "Unexpected file format.",
                                        Path("missing.scw") +
                                            "\nCannot find this file.\nPlease verify that the "
                                            "correct path and file name are given."}));
}
