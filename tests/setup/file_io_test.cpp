#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/FileIo.h"

namespace ksr {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, CrLfLfAndALastLineWithoutEnd) {
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("x\ry\r\n"), (Lines{"x\ry"}));  // a lone CR is part of the line
    EXPECT_EQ(SplitLines("\xB0\xB5\r\n"), (Lines{"\xB0\xB5"}));
}

TEST(AtomicWrite, ReplacesTheWholeFileByteForByte) {
    test::TempDir dir;
    test::WriteBytes(dir / "f", std::string(1000, 'o'));
    const std::string bytes = std::string("a\r\n\0\xFF\xB0", 7);
    WriteFileAtomically(dir / "f", bytes);
    EXPECT_EQ(test::ReadBytes(dir / "f"), bytes);
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(dir / "f")));
}

TEST(AtomicWrite, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "taken");  // a folder where the file should go
    try {
        WriteFileAtomically(dir / "taken", "new");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(e.file().find("taken"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(dir / "taken")));
}

TEST(AtomicWrite, MissingFolderIsAnIoError) {
    test::TempDir dir;
    EXPECT_THROW(WriteFileAtomically(dir / "no" / "such" / "f.set", "x"), IoError);
}

TEST(ErrorText, LocatedMessagesForTheCommandLine) {
    EXPECT_EQ(InvalidNumberError("x", "a.set", 3).located(),
              "a.set:3: \"x\" is not a valid whole number");
    RangeError range("DataType", 5, "1..4");
    EXPECT_EQ(range.located(), "DataType 5 is out of range (1..4)");
    range.locate("b.set", 9);
    EXPECT_EQ(range.located(), "b.set:9: DataType 5 is out of range (1..4)");
    EXPECT_EQ(IoError("cannot open file", "c.set", "No such file or directory").located(),
              "c.set: cannot open file: No such file or directory");
}

}  // namespace
}  // namespace ksr
