#pragma once
// Checksums of sent files: SHA-256 for the upload log, and the POSIX cksum (CRC-32 of the bytes
// and their length) that a recorder's shell computes, for checking what it received.

#include <cstdint>
#include <string>

namespace ksr::upload {

// The SHA-256 of the bytes as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);

// What POSIX cksum prints first for the bytes.
std::uint32_t PosixCksum(const std::string& bytes);

}  // namespace ksr::upload
