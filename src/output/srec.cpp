#include "output/srec.hpp"

namespace tarnel {

namespace {

// Address bytes of each record type; 4, 5 and 6 are never written.
constexpr uint32_t kAddressWidth[10] = {2, 2, 3, 4, 0, 0, 0, 4, 3, 2};
constexpr char kHexDigits[] = "0123456789ABCDEF";
// The one-byte count holds the address, the data and the checksum.
constexpr uint32_t kHeaderTextMax = 252;

class RecordLine {
public:
    void hexByte(uint32_t byte) {
        byte &= 0xFF;
        line_[len_++] = kHexDigits[byte >> 4];
        line_[len_++] = kHexDigits[byte & 0xF];
        checksum_ += byte;
    }
    void put(char c) { line_[len_++] = c; }
    uint32_t checksum() const { return checksum_; }
    void writeTo(OutputFile& file) const { file.write(line_, len_); }

private:
    char line_[2 + 2 * 256 + 1];
    uint32_t len_ = 0;
    uint32_t checksum_ = 0;
};

}  // namespace

void writeSRecord(OutputFile& file, uint32_t type, uint32_t count, uint32_t address, const uint8_t* data) {
    const uint32_t width = kAddressWidth[type];
    RecordLine line;
    line.put('S');
    line.put(char('0' + type));
    line.hexByte(count + width + 1);
    for (uint32_t i = width; i-- > 0;) line.hexByte(address >> (8 * i));
    for (uint32_t i = 0; i < count; ++i) line.hexByte(data[i]);
    line.hexByte(~line.checksum());
    line.put('\n');
    line.writeTo(file);
}

void writeSRecordHeader(OutputFile& file, std::string_view name) {
    if (name.size() > kHeaderTextMax) name = name.substr(0, kHeaderTextMax);
    writeSRecord(file, 0, uint32_t(name.size()), 0, reinterpret_cast<const uint8_t*>(name.data()));
}

void writeSRecordData(OutputFile& file, uint32_t count, uint32_t address, const uint8_t* data) {
    uint32_t type = address <= 0xFFFF ? 1 : address <= 0xFFFFFF ? 2 : 3;
    writeSRecord(file, type, count, address, data);
}

void writeSRecordEnd(OutputFile& file, uint32_t address) {
    uint32_t type = address <= 0xFFFF ? 9 : address <= 0xFFFFFF ? 8 : 7;
    writeSRecord(file, type, 0, address, nullptr);
}

}  // namespace tarnel
