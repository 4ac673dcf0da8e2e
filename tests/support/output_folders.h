// What the extractor's W exports and its output to a folder hand a host: the
// UTF-16 records of a sample archive, and the files an unpacking leaves in a
// folder, named and read by their UTF-16 names as a Unicode host would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host-contract/host_contract.h"
#include "tests/support/sample_archives.h"

// The UTF-16 record as GetArchiveInfoW and GetFileInfoW must hand it out:
// the 8-bit record's numbers, an empty path, `name` with its NUL and zeros
// after it, crc and padding zero.
testing::AssertionResult WideRecordIs(const korvo::fileInfoW& record, const SampleEntry& entry,
                                      const WideText& name);

// A UTF-16 listing's bytes: (n + 1) records, the archive's in order named
// `names` (Utf16 of the 8-bit names when empty), then a record of zeros.
testing::AssertionResult WideListingBytesAre(const Bytes& bytes, const SampleArchive& archive,
                                             const std::vector<WideText>& names = {});

// The separator a path is joined with on this platform.
extern const WCHAR kWideSeparator;

// ScratchDirectory() + `utf8Name`, made (anew: empty) for an unpacking;
// its UTF-16 path without a trailing separator.
WideText FreshFolder(const std::string& utf8Name);

// The names in `folder` (the temporary files of an unpacking included), as
// UTF-16; empty when the folder cannot be read.
std::vector<WideText> FolderNames(const WideText& folder);

// The bytes of a file named in UTF-16; false when it cannot be read.
bool ReadFileW(const WideText& path, Bytes* bytes);

// Writes a file named in UTF-16 (an earlier file an unpacking must replace).
bool WriteFileW(const WideText& path, const Bytes& bytes);

// Every W export of `extractor` serves the archive at `path` in full, as
// ExpectArchiveServed does through the 8-bit ones: it is supported, listed in
// UTF-16, every entry found by its listed name (also without case) and
// extracted to memory with its exact bytes, and unpacked by GetFileW into a
// folder whose name needs UTF-16: the file of its listed name holding those
// bytes and nothing else; an entry whose UTF-16 name holds a separator is
// refused with 2, writing nothing. `names` as for WideListingBytesAre.
void ExpectArchiveServedW(const korvo::LoadedPlugin& extractor, const WideText& path,
                          const SampleArchive& archive, const std::vector<WideText>& names = {});
