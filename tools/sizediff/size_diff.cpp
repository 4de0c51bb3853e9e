#include "size_diff.hpp"

#include <algorithm>
#include <cstring>
#include <map>

namespace tarnel::sizediff {

namespace {

constexpr uint32_t kModuleSlots = 512;
// the module pairs of the definitions in no loaded module, and of the linker's
constexpr uint32_t kNotLoaded = 3 * kModuleSlots, kLinker = kNotLoaded + 1;

template <class R>
void add(RowList<R>& list, R row) {
    ++list.count[size_t(row.change)];
    list.total += row.delta;
    row.sequence = uint32_t(list.rows.size());
    list.rows.push_back(std::move(row));
}

int rank(int64_t delta) { return delta > 0 ? 0 : delta < 0 ? 1 : 2; }
uint64_t magnitude(int64_t delta) { return delta < 0 ? uint64_t(0) - uint64_t(delta) : uint64_t(delta); }

// Report order for the first `ordered` rows; `tie` compares two rows of the
// same delta three ways.
template <class R, class Tie>
void order(std::vector<R>& rows, size_t ordered, Tie&& tie) {
    auto less = [&](const R& a, const R& b) {
        if (rank(a.delta) != rank(b.delta)) return rank(a.delta) < rank(b.delta);
        if (a.delta != b.delta) return magnitude(a.delta) > magnitude(b.delta);
        if (const int c = tie(a, b); c != 0) return c < 0;
        return a.sequence < b.sequence;
    };
    if (ordered == 0 || ordered >= rows.size())
        std::sort(rows.begin(), rows.end(), less);
    else
        std::partial_sort(rows.begin(), rows.begin() + ptrdiff_t(ordered), rows.end(), less);
}

const Area* findArea(const std::vector<Area>& areas, std::string_view name) {
    for (const Area& a : areas)
        if (a.name == name) return &a;
    return nullptr;
}

void diffAreas(const std::vector<Area>& before, const std::vector<Area>& after, RowList<AreaRow>& list) {
    for (const Area& b : before) {
        AreaRow row{};
        row.name = b.name;
        row.before = b.used;
        row.sizeBefore = b.size;
        const Area* a = findArea(after, b.name);
        if (a && a->used == b.used && a->size == b.size) continue;
        row.change = a ? Change::changed : Change::removed;
        if (a) {
            row.after = a->used;
            row.sizeAfter = a->size;
        }
        row.delta = int64_t(a ? a->used : 0) - int64_t(b.used);
        add(list, row);
    }
    for (const Area& a : after) {
        if (findArea(before, a.name)) continue;
        AreaRow row{};
        row.change = Change::added;
        row.name = a.name;
        row.after = a.used;
        row.sizeAfter = a.size;
        row.delta = int64_t(a.used);
        add(list, row);
    }
}

// Each module's partner in the other record, or -1.
struct ModuleMatch {
    std::vector<int32_t> afterOf, beforeOf;
    void pair(size_t b, size_t a) {
        afterOf[b] = int32_t(a);
        beforeOf[a] = int32_t(b);
    }
};

ModuleMatch matchModules(const std::vector<RecordModule>& before, const std::vector<RecordModule>& after) {
    ModuleMatch m{std::vector<int32_t>(before.size(), -1), std::vector<int32_t>(after.size(), -1)};
    // by file: the k-th module of a file with the k-th (a slot that loaded
    // nothing has no file and is never matched)
    std::map<std::string_view, std::vector<size_t>> byFile;
    for (size_t a = 0; a < after.size(); ++a)
        if (after[a].file) byFile[*after[a].file].push_back(a);
    std::map<std::string_view, size_t> taken;
    for (size_t b = 0; b < before.size(); ++b) {
        if (!before[b].file) continue;
        const auto it = byFile.find(*before[b].file);
        if (it == byFile.end()) continue;
        size_t& k = taken[it->first];
        if (k < it->second.size()) m.pair(b, it->second[k++]);
    }
    // by module name, where a name is left over once on each side
    struct Left {
        size_t count[2] = {0, 0};
        size_t index[2] = {0, 0};
    };
    std::map<std::string_view, Left> byName;
    for (size_t b = 0; b < before.size(); ++b)
        if (before[b].file && before[b].name && m.afterOf[b] < 0) {
            Left& l = byName[*before[b].name];
            ++l.count[0];
            l.index[0] = b;
        }
    for (size_t a = 0; a < after.size(); ++a)
        if (after[a].file && after[a].name && m.beforeOf[a] < 0) {
            Left& l = byName[*after[a].name];
            ++l.count[1];
            l.index[1] = a;
        }
    for (const auto& [name, l] : byName)
        if (l.count[0] == 1 && l.count[1] == 1) m.pair(l.index[0], l.index[1]);
    return m;
}

void diffModules(const LinkRecord& before, const LinkRecord& after, const ModuleMatch& match,
                 RowList<ModuleRow>& list) {
    for (size_t b = 0; b < before.modules.size(); ++b) {
        const RecordModule& mb = before.modules[b];
        if (!mb.file) continue;
        ModuleRow row{};
        row.before = mb.total();
        if (match.afterOf[b] < 0) {
            row.change = Change::removed;
            row.file = *mb.file;
            for (size_t s = 0; s < kSections; ++s) row.partDelta[s] = -int64_t(mb.part[s]);
            row.delta = -int64_t(*row.before);
            add(list, row);
            continue;
        }
        const RecordModule& ma = after.modules[size_t(match.afterOf[b])];
        if (ma.part == mb.part) continue;
        row.change = Change::changed;
        row.file = *ma.file;
        if (*ma.file != *mb.file) row.fileBefore = *mb.file;
        row.after = ma.total();
        for (size_t s = 0; s < kSections; ++s) row.partDelta[s] = int64_t(ma.part[s]) - int64_t(mb.part[s]);
        row.delta = int64_t(*row.after) - int64_t(*row.before);
        add(list, row);
    }
    for (size_t a = 0; a < after.modules.size(); ++a) {
        const RecordModule& ma = after.modules[a];
        if (!ma.file || match.beforeOf[a] >= 0) continue;
        ModuleRow row{};
        row.change = Change::added;
        row.file = *ma.file;
        row.after = ma.total();
        for (size_t s = 0; s < kSections; ++s) row.partDelta[s] = int64_t(ma.part[s]);
        row.delta = int64_t(*row.after);
        add(list, row);
    }
}

// A hash of a name, eight bytes at a time; it only orders the names, so
// that most comparisons while matching them are of two numbers.
uint32_t nameHash(std::string_view name) {
    constexpr uint64_t kMultiplier = 0xff51afd7ed558ccd;
    uint64_t h = name.size();
    size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, name.data() + i, 8);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 32;
    }
    uint64_t rest = 0;
    std::memcpy(&rest, name.data() + i, name.size() - i);
    h = (h ^ rest) * kMultiplier;
    return uint32_t(h ^ h >> 32);
}

// A definition's place in the matching order: the module pair it belongs to
// (the same number on both sides for matched modules), then its name.
struct Key {
    uint32_t pair;
    uint32_t hash;
    uint32_t index;
};

class SymbolMatcher {
public:
    SymbolMatcher(const LinkRecord& before, const LinkRecord& after, const ModuleMatch& match)
        : before_(before), after_(after) {
        // matched modules pair under the newer record's slot; the others each
        // alone, but the slots that loaded nothing all together, and the
        // linker's definitions all together
        std::vector<uint32_t> pairBefore(before.modules.size()), pairAfter(after.modules.size());
        for (size_t a = 0; a < pairAfter.size(); ++a)
            pairAfter[a] = match.beforeOf[a] >= 0 ? uint32_t(a) : after.modules[a].file ? kModuleSlots + uint32_t(a) : kNotLoaded;
        for (size_t b = 0; b < pairBefore.size(); ++b)
            pairBefore[b] = match.afterOf[b] >= 0   ? uint32_t(match.afterOf[b])
                            : before.modules[b].file ? 2 * kModuleSlots + uint32_t(b)
                                                     : kNotLoaded;
        keysBefore_ = keys(before, pairBefore);
        keysAfter_ = keys(after, pairAfter);
    }

    void diff(RowList<SymbolRow>& list) {
        std::vector<Key> leftBefore, leftAfter;
        size_t i = 0, j = 0;
        while (i < keysBefore_.size() || j < keysAfter_.size()) {
            const int c = i == keysBefore_.size()  ? 1
                          : j == keysAfter_.size() ? -1
                                                   : compare(keysBefore_[i], keysAfter_[j]);
            if (c < 0) {
                leftBefore.push_back(keysBefore_[i++]);
            } else if (c > 0) {
                leftAfter.push_back(keysAfter_[j++]);
            } else {
                matched(keysBefore_[i++].index, keysAfter_[j++].index, list);
            }
        }
        leftOver(leftBefore, leftAfter, list);
    }

private:
    static std::string_view moduleFile(const LinkRecord& r, const Definition& d) {
        if (d.linkerMade) return {};
        const std::optional<std::string_view>& file = r.modules[d.module].file;
        return file ? *file : "-";
    }
    // the linker's definitions mark addresses and hold no bytes of their own
    static uint64_t size(const Definition& d) { return d.linkerMade ? 0 : d.size; }

    std::vector<Key> keys(const LinkRecord& r, const std::vector<uint32_t>& pairOf) const {
        std::vector<Key> k(r.definitions.size());
        for (size_t i = 0; i < k.size(); ++i) {
            const Definition& d = r.definitions[i];
            k[i] = {d.linkerMade ? kLinker : pairOf[d.module], nameHash(d.name), uint32_t(i)};
        }
        std::sort(k.begin(), k.end(), [&](const Key& x, const Key& y) {
            if (x.pair != y.pair) return x.pair < y.pair;
            if (x.hash != y.hash) return x.hash < y.hash;
            if (const int c = r.definitions[x.index].name.compare(r.definitions[y.index].name); c != 0) return c < 0;
            return x.index < y.index;
        });
        return k;
    }

    int compare(const Key& b, const Key& a) const {
        if (b.pair != a.pair) return b.pair < a.pair ? -1 : 1;
        if (b.hash != a.hash) return b.hash < a.hash ? -1 : 1;
        return before_.definitions[b.index].name.compare(after_.definitions[a.index].name);
    }

    SymbolRow row(Change change, const Definition* b, const Definition* a) const {
        SymbolRow r{};
        r.change = change;
        if (b) {
            r.name = b->name;
            r.before = size(*b);
            r.sectionBefore = r.sectionAfter = b->section;
            r.moduleBefore = r.moduleAfter = moduleFile(before_, *b);
            r.linkerMade = b->linkerMade;
        }
        if (a) {
            r.name = a->name;
            r.after = size(*a);
            r.sectionAfter = a->section;
            r.moduleAfter = moduleFile(after_, *a);
            if (!b) {
                r.sectionBefore = a->section;
                r.moduleBefore = r.moduleAfter;
            }
            r.linkerMade = a->linkerMade;
        }
        r.delta = int64_t(r.after.value_or(0)) - int64_t(r.before.value_or(0));
        return r;
    }

    void matched(uint32_t b, uint32_t a, RowList<SymbolRow>& list) const {
        const Definition& db = before_.definitions[b];
        const Definition& da = after_.definitions[a];
        if (size(db) == size(da) && db.section == da.section) return;
        add(list, row(Change::changed, &db, &da));
    }

    // A name left over once on each side has moved between modules; the
    // others were removed or added.
    void leftOver(std::vector<Key>& before, std::vector<Key>& after, RowList<SymbolRow>& list) const {
        // each side grouped by name, names in the order of their hashes
        auto byName = [](const LinkRecord& r, std::vector<Key>& left) {
            for (Key& k : left) k.pair = 0;
            std::sort(left.begin(), left.end(), [&r](const Key& x, const Key& y) {
                if (x.hash != y.hash) return x.hash < y.hash;
                if (const int c = r.definitions[x.index].name.compare(r.definitions[y.index].name); c != 0) return c < 0;
                return x.index < y.index;
            });
        };
        byName(before_, before);
        byName(after_, after);
        // names lie all over the records: one is read only where two hashes agree
        auto sameName = [](const LinkRecord& r, const Key& k, const LinkRecord& rFirst, const Key& first) {
            return k.hash == first.hash && r.definitions[k.index].name == rFirst.definitions[first.index].name;
        };
        std::vector<uint32_t> removed, added;
        std::vector<std::pair<uint32_t, uint32_t>> moved;
        size_t i = 0, j = 0;
        while (i < before.size() || j < after.size()) {
            // the run of the next name on each side
            const int c = i == before.size()  ? 1
                          : j == after.size() ? -1
                                              : compare(before[i], after[j]);
            const Key& first = c <= 0 ? before[i] : after[j];
            const LinkRecord& firstRecord = c <= 0 ? before_ : after_;
            size_t iEnd = c <= 0 ? i + 1 : i, jEnd = c >= 0 ? j + 1 : j;
            while (iEnd < before.size() && sameName(before_, before[iEnd], firstRecord, first)) ++iEnd;
            while (jEnd < after.size() && sameName(after_, after[jEnd], firstRecord, first)) ++jEnd;
            if (iEnd - i == 1 && jEnd - j == 1 && !before_.definitions[before[i].index].linkerMade &&
                !after_.definitions[after[j].index].linkerMade) {
                moved.emplace_back(before[i].index, after[j].index);
            } else {
                for (size_t k = i; k < iEnd; ++k) removed.push_back(before[k].index);
                for (size_t k = j; k < jEnd; ++k) added.push_back(after[k].index);
            }
            i = iEnd;
            j = jEnd;
        }
        // the rows in the records' order, which reads each front to back
        std::sort(removed.begin(), removed.end());
        std::sort(added.begin(), added.end());
        std::sort(moved.begin(), moved.end());
        for (uint32_t b : removed) add(list, row(Change::removed, &before_.definitions[b], nullptr));
        for (uint32_t a : added) add(list, row(Change::added, nullptr, &after_.definitions[a]));
        for (const auto& [b, a] : moved) add(list, row(Change::moved, &before_.definitions[b], &after_.definitions[a]));
    }

    const LinkRecord& before_;
    const LinkRecord& after_;
    std::vector<Key> keysBefore_, keysAfter_;
};

}  // namespace

SizeDiff diffRecords(const LinkRecord& before, const LinkRecord& after, size_t ordered) {
    SizeDiff diff;
    diff.bySection = before.regions.empty() || after.regions.empty();
    if (diff.bySection)
        diffAreas(before.sections, after.sections, diff.areas);
    else
        diffAreas(before.regions, after.regions, diff.areas);
    const ModuleMatch match = matchModules(before.modules, after.modules);
    diffModules(before, after, match, diff.modules);
    SymbolMatcher(before, after, match).diff(diff.symbols);

    order(diff.areas.rows, ordered, [](const AreaRow& x, const AreaRow& y) { return x.name.compare(y.name); });
    order(diff.modules.rows, ordered, [](const ModuleRow& x, const ModuleRow& y) { return x.file.compare(y.file); });
    order(diff.symbols.rows, ordered, [](const SymbolRow& x, const SymbolRow& y) {
        if (const int c = x.name.compare(y.name); c != 0) return c;
        if (const int c = x.moduleAfter.compare(y.moduleAfter); c != 0) return c;
        return x.moduleBefore.compare(y.moduleBefore);
    });
    return diff;
}

}  // namespace tarnel::sizediff
