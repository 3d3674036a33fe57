// Writing S-records: the sample image sets, the tests and the benchmarks make their images
// here, so that every record the project writes follows one rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace aurex {

// Bytes of a record type's address field: 2 for S0, S1, S5 and S9, 3 for S2, S6 and S8, 4 for
// S3 and S7; 0 for any other type.
std::size_t SRecordAddressBytes(char type);

// Appends "S", the type, the count, the address (its low bytes, high byte first), the data and
// the checksum in upper-case hex, then `lineEnd`. The count covers address, data and checksum;
// the checksum is the ones' complement of the low byte of the sum of the count, address and
// data bytes. False, with nothing appended, for a type without an address field or for more
// data than the count byte can cover.
bool AppendSRecord(std::string& out, char type, std::uint32_t address, std::span<const std::uint8_t> data,
                   std::string_view lineEnd = "\r\n");
// The same with the data given as the bytes of a text.
bool AppendSRecord(std::string& out, char type, std::uint32_t address, std::string_view data,
                   std::string_view lineEnd = "\r\n");

// One record as AppendSRecord writes it; empty where AppendSRecord refuses.
std::string SRecordLine(char type, std::uint32_t address, std::span<const std::uint8_t> data,
                        std::string_view lineEnd = "\r\n");
std::string SRecordLine(char type, std::uint32_t address, std::string_view data,
                        std::string_view lineEnd = "\r\n");

} // namespace aurex
