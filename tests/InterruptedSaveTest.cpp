// A save cut short by the process dying (a crash, power, the user killing
// it) must leave a whole document behind, never a torn one. The child is this
// test executable itself: it saves two large documents over one file, one
// after the other, until it is killed with SIGKILL, at many moments, most of
// them in the middle of a save.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/ScwFile.h"
#include "tests/ScriptedUI.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolderVariable = "SCOUTWIRE_SAVE_FOLDER";

std::vector<uint8_t> Document(int servers, const std::string& note) {
    OwningServerList list(1);
    list.Reserve(servers);
    for (int i = 0; i < servers; ++i) {
        auto s = std::make_unique<ServerInfo>(0x0A000000u + static_cast<uint32_t>(i), 27015);
        s->m_dwFlags = GROUP_WON | GROUP_FILTERED;
        s->m_strName = "Server " + std::to_string(i);
        s->m_strAnnotation = note;
        s->m_strPassword = "join";
        list.Append(std::move(s));
    }
    const std::vector<std::unique_ptr<SearchQuery>> queries;
    return WriteScwFile(list, queries, ServerFilter(), ServerFilter(), Query("", "", QF_REGEX));
}

bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
               qint64(bytes.size());
}

std::vector<uint8_t> ReadFile(const QString& path) {
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Whether the process has a save's temporary file open in folder: unnamed
// (shown as "#inode (deleted)") or named after the target.
bool SaveInProgress(qint64 pid, const QString& folder) {
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    const std::string prefix = folder.toStdString() + "/";
    std::error_code error;
    for (const auto& fd : fs::directory_iterator(fdDir, error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (error || target.rfind(prefix, 0) != 0)
            continue;
        const std::string name = target.substr(prefix.size());
        if (name.rfind('#', 0) == 0 || name.rfind("target.scw.", 0) == 0)
            return true;
    }
    return false;
}

// The bytes a document saves after it was opened from path.
std::vector<uint8_t> SavedAgain(const QTemporaryDir& dir, const QString& path) {
    ScriptedUI ui;
    CSettings settings(dir.filePath("parent.ini").toStdString());
    CScoutwireDoc doc(settings, ui);
    const QString copy = path + ".again";
    if (!doc.OnOpenDocument(path.toStdString()) || !doc.OnSaveDocument(copy.toStdString()))
        return {};
    return ReadFile(copy);
}

// The child: this executable started again by the test below, with the
// folder in its environment. It saves before main, so that it is no test of
// its own, and never returns.
[[noreturn]] void SaveUntilKilled(const QString& folder) {
    int argc = 1;
    char name[] = "child", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ScriptedUI ui;
    CSettings settings(QDir(folder).filePath("child.ini").toStdString());
    CScoutwireDoc first(settings, ui);
    CScoutwireDoc second(settings, ui);
    const std::string target = QDir(folder).filePath("target.scw").toStdString();
    if (!first.OnOpenDocument(QDir(folder).filePath("first.scw").toStdString()) ||
        !second.OnOpenDocument(QDir(folder).filePath("second.scw").toStdString()))
        std::_Exit(2);
    std::puts("saving");
    std::fflush(stdout);
    while (first.OnSaveDocument(target) && second.OnSaveDocument(target)) {
    }
    std::_Exit(3);
}

[[maybe_unused]] const bool kIsChild = [] {
    if (const QString folder = qEnvironmentVariable(kFolderVariable); !folder.isEmpty())
        SaveUntilKilled(folder);
    return false;
}();

} // namespace

TEST(InterruptedSaveTest, KilledAtAnyMomentTheFileIsAWholeDocument) {
    QTemporaryDir dir;
    // Two documents of some 8 MB each, and a small one they replace.
    ASSERT_TRUE(WriteFile(dir.filePath("first.scw"), Document(50000, std::string(120, 'a'))));
    ASSERT_TRUE(WriteFile(dir.filePath("second.scw"), Document(50000, std::string(120, 'b'))));
    const std::vector<uint8_t> previous = Document(3, "the previous document");
    // What the child writes: the documents as they save once opened.
    const std::vector<uint8_t> first = SavedAgain(dir, dir.filePath("first.scw"));
    const std::vector<uint8_t> second = SavedAgain(dir, dir.filePath("second.scw"));
    ASSERT_GT(first.size(), 8000000u);
    ASSERT_NE(first, second);
    const QString target = dir.filePath("target.scw");
    const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

    constexpr int kKills = 15;
    int firstKept = 0, midSave = 0;
    for (int run = 0; run < kKills; ++run) {
        ASSERT_TRUE(WriteFile(target, previous));
        fs::permissions(target.toStdString(), perms);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kFolderVariable, dir.path());
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(child.waitForStarted(10000));
        // The child says when its saving starts.
        while (!child.canReadLine())
            ASSERT_TRUE(child.waitForReadyRead(60000))
                << child.readAllStandardError().toStdString();
        ASSERT_EQ(child.readLine().trimmed(), "saving");
        // Every third kill comes at a moment of the clock, anywhere in a
        // save or between two; the others once a new file is open (the
        // first save's, or the second's, which replaces a whole document),
        // after a few milliseconds more of writing.
        const auto waitForSave = [&](bool inProgress) {
            for (int waited = 0; SaveInProgress(child.processId(), dir.path()) != inProgress;)
                ASSERT_TRUE(++waited < 60000 && !child.waitForFinished(1));
        };
        if (run % 3 == 0) {
            ASSERT_FALSE(child.waitForFinished(1 + (run * 37) % 300));
        } else {
            waitForSave(true);
            if (run % 3 == 2) {
                waitForSave(false);
                waitForSave(true);
            }
            ASSERT_FALSE(child.waitForFinished(run % 7));
        }
        midSave += SaveInProgress(child.processId(), dir.path());
        child.kill(); // SIGKILL
        ASSERT_TRUE(child.waitForFinished(10000));

        const std::vector<uint8_t> now = ReadFile(target);
        ASSERT_TRUE(now == previous || now == first || now == second)
            << "run " << run << ": a torn file of " << now.size() << " bytes";
        firstKept += now == first;
        EXPECT_EQ(fs::status(target.toStdString()).permissions(), perms) << run;
    }
    EXPECT_GT(midSave, kKills / 2) << "too few kills landed in the middle of a save";
    EXPECT_GT(firstKept, 0) << "no kill cut short the save that replaces a large document";
}
