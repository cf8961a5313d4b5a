#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QFileDevice>

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
    static void Write(const std::string& path, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

} // namespace

TEST_F(DocumentFileTest, SaveAndOpenKeepWhatTheUserBuilt) {
    ServerInfo* fav = AddServer(0x0A000002, 27015, GROUP_FAVOURITES);
    fav->m_strAnnotation = "line one\r\nline two";
    fav->m_strPassword = "s3cret";
    fav->m_nPlayers = 5;
    fav->SetPlayers(std::make_unique<PlayerList>(1));
    AddServer(0x0A000001, 27016, GROUP_MANUAL)->m_strHostName = "example.org";
    doc->AddQuery(std::make_unique<SearchQuery>("friends", "^\\[TAG\\]", QF_REGEX));
    doc->m_filter.m_dwFlags = FILTER_GAME;
    doc->m_filter.m_strGame = "cstrike";
    fav->m_strGame = "cstrike";
    ASSERT_TRUE(doc->OnSaveDocument(Path("a.scw")));
    EXPECT_FALSE(doc->IsModified());

    DocFixture other;
    ASSERT_TRUE(other.doc->OnOpenDocument(Path("a.scw")));
    const auto& list = other.doc->GetServerList();
    ASSERT_EQ(list.GetSize(), 2);
    const ServerInfo* loaded = other.doc->FindServer(0x0A000002, 27015);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->m_strAnnotation, "line one\r\nline two");
    EXPECT_EQ(loaded->m_strPassword, "s3cret");
    EXPECT_EQ(loaded->m_nPlayers, 0) << "player counts are not stored";
    EXPECT_FALSE(loaded->m_pPlayers);
    EXPECT_TRUE(loaded->m_dwFlags & GROUP_FILTERED) << "the filter runs after loading";
    ASSERT_EQ(other.doc->GetQueries().size(), 1u);
    EXPECT_TRUE(other.doc->GetQueries()[0]->m_players.empty());
    EXPECT_EQ(other.doc->GetPathName(), Path("a.scw"));
    EXPECT_FALSE(other.doc->IsModified());
}

TEST_F(DocumentFileTest, DamagedFileLeavesAnEmptyDocument) {
    AddServer(1, 1);
    ASSERT_TRUE(doc->OnSaveDocument(Path("good.scw")));
    QByteArray bytes = Read(Path("good.scw"));
    bytes.chop(3);
    Write(Path("bad.scw"), bytes);
    doc->AddQuery(std::make_unique<SearchQuery>("q", "x", 0));
    EXPECT_FALSE(doc->OnOpenDocument(Path("bad.scw")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Unexpected file format.");
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
    EXPECT_TRUE(doc->GetQueries().empty());

    EXPECT_FALSE(doc->OnOpenDocument(Path("missing.scw")));
    EXPECT_EQ(ui.messages.back(), Path("missing.scw") +
                                      "\nCannot find this file.\nPlease verify that the correct "
                                      "path and file name are given.");
}

TEST_F(DocumentFileTest, FileFromElsewhereIsPutInOrderWithoutDuplicates) {
    // Written by hand in reverse order with a duplicate.
    OwningServerList reversed;
    reversed.Append(std::make_unique<ServerInfo>(3, 1));
    reversed.Append(std::make_unique<ServerInfo>(2, 1));
    reversed.Append(std::make_unique<ServerInfo>(3, 1));
    const std::vector<std::unique_ptr<SearchQuery>> none;
    const std::vector<uint8_t> bytes =
        WriteScwFile(reversed, none, ServerFilter(), ServerFilter(), Query());
    Write(Path("odd.scw"),
          QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    ASSERT_TRUE(doc->OnOpenDocument(Path("odd.scw")));
    ASSERT_EQ(doc->GetServerList().GetSize(), 2);
    EXPECT_EQ(doc->GetServerList()[0]->m_dwAddress, 2u);
    EXPECT_TRUE(doc->FindServer(3, 1));
}

TEST_F(DocumentFileTest, FailedSaveKeepsTheOldFile) {
    AddServer(1, 1);
    ASSERT_TRUE(doc->OnSaveDocument(Path("keep.scw")));
    const QByteArray before = Read(Path("keep.scw"));
    AddServer(2, 1);
    doc->SetModifiedFlag();
    // A folder where the file should be: the rename cannot happen.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.scw"));
    EXPECT_FALSE(doc->OnSaveDocument(Path("taken.scw")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Failed to save document.");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(Read(Path("keep.scw")), before);
}
