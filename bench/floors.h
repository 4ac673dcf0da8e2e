// The floor of each benchmarked operation: the least work an implementation
// must do on this machine for the same result. A plug-in runs inside the host,
// so the floors that matter are those of a safe one: it reads the archive
// through system reads (a mapped file that another process truncates, or a
// page a network drive fails to deliver, kills the host), and every block it
// hands out is fresh memory the host then owns.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// GetPicture from a file: open, read the head, allocate the bitmap-info block
// and the pixel block fresh, fill the colour table, read every row into the
// pixel block with one read and turn the rows bottom-up in place; close and
// free both blocks (the host's part).
void FloorPictureFromFile(const std::string& path);

// GetPicture from memory: allocate both blocks fresh, fill the colour table
// and copy the rows bottom-up; free both blocks.
void FloorPictureFromMemory(const uint8_t* picture);

// How a read floor reaches the fields of the entries: through the windows
// that also serve the table or name records, or with one small read per
// field. Windows win where entries are small, small reads where they are
// large; a floor is the better of the two.
enum class EntryReads { kWindows, kOneReadPerField };

// IsSupported, the read floor: open the archive and read it through read() in
// 64 KiB windows, each byte at most once, touching every field the layout's
// checks must see (counts, table slots or name records, and every entry's
// head), building nothing. The least a safe probe can do.
// `named`: a named-entry archive, else an offset-table one.
void ReadFloorProbe(const std::string& path, bool named, EntryReads reads);

// IsSupported, the mapped floor: the same fields read through a mapping of
// the file, no copy at all. The physical limit, which a plug-in cannot use.
void MappedFloorOffsetTableProbe(const std::string& path);
void MappedFloorNamedEntryProbe(const std::string& path);

// GetArchiveInfo: a probe's floor (read or mapped) and then the listing every
// host reads, (n + 1) records of fileInfo in a fresh block, each with its
// method tag, position, sizes and name; the block freed.
void ReadFloorListing(const std::string& path, bool named, EntryReads reads);
void MappedFloorOffsetTableListing(const std::string& path);
void MappedFloorNamedEntryListing(const std::string& path);

// Host session (the listing, then every entry through GetFile and then
// GetPicture from memory), the single-pass floor: the whole archive read once
// and every picture's rows copied bottom-up into one reused buffer. What a
// host that could hold the archive itself would pay.
void FloorOffsetTableSession(const std::string& path);
void FloorNamedEntrySession(const std::string& path);

// Host session, the per-call-probe floor: GetFile carries no state from the
// listing and must first recognise the archive, so each entry costs the read
// floor of one probe; then the entry is read into a fresh block (a named
// entry gets its head rebuilt in front of its rows) and decoded into two
// fresh blocks. Plus one probe for the listing.
void ProbeFloorSession(const std::string& path, bool named, EntryReads reads);

}  // namespace bench
