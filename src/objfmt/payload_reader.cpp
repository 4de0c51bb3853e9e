#include "objfmt/payload_reader.hpp"

#include <algorithm>

#include "objfmt/chunk.hpp"

namespace tarnel {

bool NameField::written() const {
    return fieldLength == nameFieldLength(uint32_t(name.size())) &&
           std::all_of(field.begin() + ptrdiff_t(name.size()), field.end(), [](uint8_t b) { return b == 0; });
}

bool readNameField(PayloadReader& in, NameField& name) {
    name.offset = uint32_t(in.offset());
    if (!in.word(name.fieldLength) || !in.bytes(name.fieldLength, name.field)) return false;
    name.name = textOf(name.field);
    return true;
}

}  // namespace tarnel
