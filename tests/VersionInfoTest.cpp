#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/CVersionInfo.h"

TEST(VersionInfo, ProgramsOwnData) {
    CVersionInfo info;
    EXPECT_EQ(info.GetProductName(), "") << "nothing before Open";
    EXPECT_EQ(info.GetLanguage(), 0);
    EXPECT_EQ(info.GetCodePage(), 1252);

    ASSERT_TRUE(info.Open());
    EXPECT_TRUE(info.IsOpen());
    EXPECT_EQ(info.GetLanguage(), 0x0409);
    EXPECT_EQ(info.GetCodePage(), 0x04B0);
    EXPECT_EQ(info.GetTranslation(), "040904B0") << "upper case, though the table is not";
    EXPECT_EQ(info.GetProductName(), "Scoutwire Application");
    EXPECT_EQ(info.GetFileVersion(), "1, 0, 29, 1");
    EXPECT_EQ(info.GetString("ProductVersion"), "1, 0, 29, 1");
    EXPECT_EQ(info.GetString("FileDescription"), "Scoutwire");
    EXPECT_EQ(info.GetString("internalname"), "Scoutwire") << "keys ignore case";
    EXPECT_FALSE(info.GetCompanyName().empty());
    EXPECT_NE(info.GetLegalCopyright().find(info.GetCompanyName()), std::string::npos);
    EXPECT_EQ(info.GetString("Comments"), "") << "a missing entry";
}

TEST(VersionInfo, NamedFiles) {
    CVersionInfo info;
    EXPECT_TRUE(info.Open(QCoreApplication::applicationFilePath().toStdString()))
        << "the program's own file by name";
    EXPECT_EQ(info.GetProductName(), "Scoutwire Application");

    QTemporaryDir dir;
    EXPECT_FALSE(info.Open(dir.filePath("other.exe").toStdString()));
    EXPECT_FALSE(info.IsOpen());
    EXPECT_EQ(info.GetProductName(), "") << "a failed Open leaves nothing readable";
}
