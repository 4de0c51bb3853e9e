// Fuzz target: arbitrary bytes as a link record for tarnel-size-diff. Besides
// the sanitizers' checks it asserts that the record reader and the plain JSON
// walk agree (a record is JSON the walk takes whole), that every refusal
// points inside the text, and that a record diffed with itself shows no
// change; every record is also reported in full, as text and as Markdown,
// against nothing at all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json_reader.hpp"
#include "link_record.hpp"
#include "report.hpp"
#include "size_diff.hpp"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "size diff invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool json = true;
    try {
        json::Reader r(text);
        r.skipValue();
        r.finish();
    } catch (const json::Error& e) {
        if (e.offset() > size) broken("the JSON walk refused a place past the text");
        json = false;
    }
    sizediff::LinkRecord record;
    try {
        sizediff::readLinkRecord(text, record);
    } catch (const json::Error& e) {
        if (e.offset() > size) broken("the record reader refused a place past the text");
        return 0;
    }
    if (!json) broken("a record the JSON walk refuses");
    if (!sizediff::diffRecords(record, record, 0).unchanged()) broken("a record differs from itself");

    const sizediff::LinkRecord nothing;
    std::string out;
    for (bool markdown : {false, true}) {
        sizediff::writeReport(sizediff::diffRecords(nothing, record, 3), {markdown, 3, "nothing", "record"}, out);
        sizediff::writeReport(sizediff::diffRecords(record, nothing, 0), {markdown, 0, "record", "nothing"}, out);
    }
    return 0;
}
