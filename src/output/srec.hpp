// Motorola S-records: one line per record, "S" and the type digit, then in
// upper-case hex the byte count, the address, the data and the checksum,
// ended by a single line feed.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/outfile.hpp"

namespace tarnel {

constexpr uint32_t kSRecordDataMax = 32;

// One record of type 0..9 with count data bytes at address.
void writeSRecord(OutputFile& file, uint32_t type, uint32_t count, uint32_t address, const uint8_t* data);
// The S0 header record naming the output file (at most its first 252 characters).
void writeSRecordHeader(OutputFile& file, std::string_view name);
// A data record of 1 to 32 bytes: S1, S2 or S3 by its own start address.
void writeSRecordData(OutputFile& file, uint32_t count, uint32_t address, const uint8_t* data);
// The termination record for the address after the last data byte: S9, S8 or S7.
void writeSRecordEnd(OutputFile& file, uint32_t address);

}  // namespace tarnel
