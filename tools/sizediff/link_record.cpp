#include "link_record.hpp"

#include <algorithm>
#include <functional>

#include "json_reader.hpp"

namespace tarnel::sizediff {

uint64_t RecordModule::total() const {
    uint64_t sum = 0;
    for (uint64_t size : part) sum += size;
    return sum;
}

namespace {

using json::Reader;
using Type = Reader::Type;

constexpr std::string_view kFormat = "tarnel link record";
constexpr uint64_t kVersion = 1;
constexpr uint64_t kU32 = UINT32_MAX;
constexpr uint64_t kMaxModules = 512;
constexpr uint64_t kMaxSize = uint64_t(1) << 32;       // --rom-size and --ram-size
constexpr uint64_t kMaxUsed = 5 * (uint64_t(1) << 32);  // five sections of under 4 GiB each
constexpr std::array<std::string_view, 2> kRegionNames = {"ROM", "RAM"};

// Two short names alike, compared here rather than by a call to memcmp.
bool same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// An error the record reader has put a place in the record to.
struct Located : json::Error {
    using json::Error::Error;
};

// Where in the record an object lies, for messages: "modules[2].parts[0]".
struct Where {
    std::string_view list;
    size_t index = SIZE_MAX;
    std::string_view member = {};
    size_t memberIndex = SIZE_MAX;

    std::string text() const {
        if (list.empty()) return "the record";
        std::string t(list);
        if (index != SIZE_MAX) t += "[" + std::to_string(index) + "]";
        if (!member.empty()) t += "." + std::string(member);
        if (memberIndex != SIZE_MAX) t += "[" + std::to_string(memberIndex) + "]";
        return t;
    }
};

class RecordReader {
public:
    RecordReader(std::string_view text, LinkRecord& record) : r_(text), text_(text), record_(record) {}
    void read();

private:
    [[noreturn]] void fail(size_t offset, const std::string& message) const { throw Located(offset, message); }

    // An object whose members are exactly `keys`, each once: member(i) reads
    // the value of keys[i]. An error in a value is told with its path.
    template <size_t N, class Member>
    void object(const std::array<std::string_view, N>& keys, const Where& where, Member&& member) {
        static_assert(N <= 32);
        const size_t at = r_.offset();
        r_.beginObject();
        uint32_t seen = 0;
        size_t i = N - 1;
        for (std::string_view key; r_.nextMember(key);) {
            // tarnel writes the members in the order of keys: try the next one first
            i = i + 1 < N && same(keys[i + 1], key) ? i + 1
                                                    : size_t(std::find(keys.begin(), keys.end(), key) - keys.begin());
            if (i == N && where.list.empty() && !formatSeen_)
                fail(r_.keyOffset(), "not a tarnel link record: it has a member \"" + std::string(key) + "\"");
            if (i == N) fail(r_.keyOffset(), "unknown member \"" + std::string(key) + "\" in " + where.text());
            if (seen & (uint32_t(1) << i))
                fail(r_.keyOffset(), "member \"" + std::string(key) + "\" given twice in " + where.text());
            seen |= uint32_t(1) << i;
            try {
                member(i);
            } catch (const Located&) {
                throw;
            } catch (const json::Error& e) {
                const std::string path = where.list.empty() ? "" : where.text() + ".";
                throw Located(e.offset(), path + std::string(keys[i]) + ": " + e.what());
            }
        }
        for (size_t i = 0; i < N; ++i)
            if (!(seen & (uint32_t(1) << i)))
                fail(at, "no member \"" + std::string(keys[i]) + "\" in " + where.text());
    }

    // A value checked only as JSON of its type.
    void skip(Type type, const char* what) {
        if (r_.peek() != type) r_.fail(r_.offset(), std::string("expected ") + what + ", found " + found());
        r_.skipValue();
    }
    std::string found() {
        static constexpr const char* kNames[] = {"an object", "an array", "a string", "a number", "true or false", "null"};
        return kNames[size_t(r_.peek())];
    }

    // A string read, as a view that lasts: of the text, or of a copy of what
    // the reader decoded.
    std::string_view keep(std::string_view s) {
        const std::less_equal<const char*> notAfter;
        if (notAfter(text_.data(), s.data()) && notAfter(s.data() + s.size(), text_.data() + text_.size())) return s;
        return record_.decoded.emplace_back(s);
    }
    std::optional<std::string_view> textOrNull() {
        if (r_.null()) return std::nullopt;
        return keep(r_.string());
    }
    std::optional<uint64_t> numberOrNull(uint64_t min, uint64_t max) {
        if (r_.null()) return std::nullopt;
        const size_t at = r_.offset();
        const uint64_t value = r_.unsignedInteger(max);
        if (value < min)
            r_.fail(at, "expected an integer from " + std::to_string(min) + " to " + std::to_string(max) +
                            " or null, found " + std::to_string(value));
        return value;
    }
    // A string that must be one of names: its place among them.
    template <size_t N>
    size_t oneOf(const std::array<std::string_view, N>& names, const char* what) {
        const size_t at = r_.offset();
        const std::string_view s = r_.string();
        const size_t i = size_t(std::find(names.begin(), names.end(), s) - names.begin());
        if (i == N) r_.fail(at, std::string("unknown ") + what + " \"" + std::string(s) + "\"");
        return i;
    }

    void sections();
    void regions();
    void modules();
    void module(size_t index);
    void definitions();

    Reader r_;
    std::string_view text_;
    LinkRecord& record_;
    bool formatSeen_ = false;
    bool modulesRead_ = false;
    size_t definitionsAt_ = 0;
};

void RecordReader::read() {
    static constexpr std::array<std::string_view, 13> kKeys = {
        "format", "version", "status",  "errors",  "options",       "processor",   "sections",
        "regions", "totals", "modules", "library_pulls", "definitions", "references"};
    object(kKeys, Where{}, [&](size_t i) {
        switch (i) {
        case 0: {
            const size_t at = r_.offset();
            if (r_.peek() != Type::string || r_.string() != kFormat)
                fail(at, "not a tarnel link record: its format is not \"tarnel link record\"");
            formatSeen_ = true;
            break;
        }
        case 1: {
            const size_t at = r_.offset();
            if (r_.peek() != Type::number) fail(at, "a link record whose version is not a number");
            const uint64_t version = r_.unsignedInteger(UINT64_MAX);
            if (version != kVersion)
                fail(at, "a link record of version " + std::to_string(version) + "; this reads version " +
                             std::to_string(kVersion) + " only");
            break;
        }
        case 2: r_.unsignedInteger(1); break;
        case 3:
            r_.beginArray();
            while (r_.nextElement()) r_.string();
            break;
        case 4: skip(Type::object, "an object"); break;
        case 5: r_.string(); break;
        case 6: sections(); break;
        case 7: regions(); break;
        case 8: skip(Type::object, "an object"); break;
        case 9: modules(); break;
        case 10: skip(Type::array, "an array"); break;
        case 11: definitions(); break;
        case 12: skip(Type::array, "an array"); break;
        }
    });
    r_.finish();

    // a definition read before the modules is checked against them now
    const size_t moduleCount = record_.modules.size();
    for (size_t i = 0; i < record_.definitions.size(); ++i)
        if (record_.definitions[i].module >= moduleCount)
            fail(definitionsAt_, "definitions[" + std::to_string(i) + "].module: no module " +
                                     std::to_string(record_.definitions[i].module) + " among the record's " +
                                     std::to_string(moduleCount) + " modules");

}

void RecordReader::sections() {
    static constexpr std::array<std::string_view, 4> kKeys = {"name", "address", "size", "load_address"};
    r_.beginArray();
    for (size_t i = 0; r_.nextElement(); ++i) {
        const size_t at = r_.offset();
        Area area{};
        object(kKeys, Where{"sections", i}, [&](size_t k) {
            switch (k) {
            case 0: area.name = kSectionNames[oneOf(kSectionNames, "section")]; break;
            case 1: r_.unsignedInteger(kU32); break;
            case 2: area.used = r_.unsignedInteger(kU32); break;
            case 3: numberOrNull(0, kU32); break;
            }
        });
        for (const Area& a : record_.sections)
            if (a.name == area.name) fail(at, "sections[" + std::to_string(i) + "]: a second section " + std::string(area.name));
        record_.sections.push_back(area);
    }
}

void RecordReader::regions() {
    static constexpr std::array<std::string_view, 4> kKeys = {"name", "start", "size", "used"};
    r_.beginArray();
    for (size_t i = 0; r_.nextElement(); ++i) {
        const size_t at = r_.offset();
        Area area{};
        object(kKeys, Where{"regions", i}, [&](size_t k) {
            switch (k) {
            case 0: area.name = kRegionNames[oneOf(kRegionNames, "region")]; break;
            case 1: r_.unsignedInteger(kU32); break;
            case 2: area.size = numberOrNull(1, kMaxSize); break;
            case 3: area.used = r_.unsignedInteger(kMaxUsed); break;
            }
        });
        for (const Area& a : record_.regions)
            if (a.name == area.name) fail(at, "regions[" + std::to_string(i) + "]: a second region " + std::string(area.name));
        record_.regions.push_back(area);
    }
}

void RecordReader::modules() {
    const size_t at = r_.offset();
    r_.beginArray();
    for (size_t i = 0; r_.nextElement(); ++i) {
        if (i == kMaxModules) fail(at, "more than " + std::to_string(kMaxModules) + " modules");
        module(i);
    }
    modulesRead_ = true;
}

void RecordReader::module(size_t index) {
    static constexpr std::array<std::string_view, 7> kKeys = {"file", "name", "version", "date", "processor", "library", "parts"};
    static constexpr std::array<std::string_view, 2> kLibraryKeys = {"file", "number"};
    static constexpr std::array<std::string_view, 3> kPartKeys = {"section", "address", "size"};
    RecordModule m;
    object(kKeys, Where{"modules", index}, [&](size_t k) {
        switch (k) {
        case 0: m.file = textOrNull(); break;
        case 1: m.name = textOrNull(); break;
        case 2:
        case 3:
        case 4: textOrNull(); break;
        case 5:
            if (!r_.null())
                object(kLibraryKeys, Where{"modules", index, "library"}, [&](size_t l) {
                    if (l == 0) r_.string();
                    else r_.unsignedInteger(kU32);
                });
            break;
        case 6: {
            r_.beginArray();
            uint32_t seen = 0;
            for (size_t p = 0; r_.nextElement(); ++p) {
                const size_t at = r_.offset();
                size_t section = 0;
                uint64_t size = 0;
                object(kPartKeys, Where{"modules", index, "parts", p}, [&](size_t f) {
                    if (f == 0) section = oneOf(kSectionNames, "section");
                    else if (f == 1) numberOrNull(0, kU32);
                    else size = r_.unsignedInteger(kU32);
                });
                if (seen & (uint32_t(1) << section))
                    fail(at, Where{"modules", index, "parts", p}.text() + ": a second part of " +
                                 std::string(kSectionNames[section]));
                seen |= uint32_t(1) << section;
                m.part[section] = size;
            }
            break;
        }
        }
    });
    record_.modules.push_back(m);
}

void RecordReader::definitions() {
    static constexpr std::array<std::string_view, 7> kKeys = {"name", "module", "section", "offset", "address", "size", "size_from"};
    // "linker": a definition the linker made, which marks an address
    static constexpr std::array<std::string_view, 3> kSizeFrom = {"next", "object", "linker"};
    definitionsAt_ = r_.offset();
    r_.beginArray();
    for (size_t i = 0; r_.nextElement(); ++i) {
        Definition d{};
        object(kKeys, Where{"definitions", i}, [&](size_t k) {
            switch (k) {
            case 0: d.name = keep(r_.string()); break;
            case 1: {
                const size_t at = r_.offset();
                d.module = uint32_t(r_.unsignedInteger(kMaxModules - 1));
                if (modulesRead_ && d.module >= record_.modules.size())
                    r_.fail(at, "no module " + std::to_string(d.module) + " among the record's " +
                                    std::to_string(record_.modules.size()) + " modules");
                break;
            }
            case 2: d.section = Section(oneOf(kSectionNames, "section")); break;
            case 5: d.size = uint32_t(r_.unsignedInteger(kU32)); break;
            case 6: d.linkerMade = oneOf(kSizeFrom, "size_from") == 2; break;
            default: r_.unsignedInteger(kU32); break;
            }
        });
        record_.definitions.push_back(d);
    }
}

}  // namespace

void readLinkRecord(std::string_view text, LinkRecord& record) { RecordReader(text, record).read(); }

}  // namespace tarnel::sizediff
