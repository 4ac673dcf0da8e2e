// Checks of what the loaded extractor hands a host for a sample archive.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host-contract/host_contract.h"
#include "tests/support/sample_archives.h"

// The record as the extractor must list it.
testing::AssertionResult RecordIs(const korvo::fileInfo& record, const SampleEntry& entry);

// A listing handle: fully unlocked, the archive's records in order, then a
// record of zeros.
testing::AssertionResult ListingIs(HLOCAL listing, const SampleArchive& archive);
// The same, of a listing's bytes already read.
testing::AssertionResult ListingBytesAre(const Bytes& bytes, const SampleArchive& archive);

// Every export of `extractor` serves the archive at `path` in full: it is
// supported, listed, every entry found by its name (also without case),
// extracted to its exact bytes and unpacked by GetFile into a folder as a
// file of its name holding those bytes. Nothing is left alive.
void ExpectArchiveServed(const korvo::LoadedPlugin& extractor, const std::string& path,
                         const SampleArchive& archive);
