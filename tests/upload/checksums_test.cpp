// The checksums an upload's log and its verification use, against known values.

#include <gtest/gtest.h>

#include "upload/Checksums.h"

namespace ksr {
namespace {

TEST(Checksums, Sha256AndPosixCksumOfKnownInputs) {
    EXPECT_EQ(upload::Sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(upload::Sha256Hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(upload::Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(upload::PosixCksum(""), 4294967295u);
    EXPECT_EQ(upload::PosixCksum("abc"), 1219131554u);
}

}  // namespace
}  // namespace ksr
