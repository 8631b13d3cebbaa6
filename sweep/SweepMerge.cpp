#include "SweepMerge.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace {

[[noreturn]] void refuse(const std::string& message) {
    throw SweepMergeError{message};
}

// One CSV record of a text: its bytes without the line end, and its fields unquoted where
// needed (only the first and the last are looked at).
struct Record {
    std::string_view text;
    std::string first, last;
    std::size_t fields = 0;
    long line = 0;
};

// Splits `text` into records; a line end inside quotes belongs to the field.
std::vector<Record> records(const ShardText& shard) {
    std::vector<Record> out;
    const std::string& t = shard.text;
    std::size_t start = 0;
    long line = 1;
    while (start < t.size()) {
        Record r;
        r.line = line;
        std::string field;
        bool quoted = false;
        std::size_t i = start;
        auto endField = [&] {
            if (r.fields == 0) r.first = field;
            r.last = field;
            ++r.fields;
            field.clear();
        };
        for (; i < t.size(); ++i) {
            const char c = t[i];
            if (quoted) {
                if (c == '"' && i + 1 < t.size() && t[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    if (c == '\n') ++line;
                    field += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                endField();
            } else if (c == '\n') {
                break;
            } else if (c != '\r') {
                field += c;
            }
        }
        if (quoted)
            refuse(shard.name + ", line " + std::to_string(r.line) + ": a quote is never closed");
        endField();
        std::size_t end = i;
        if (end > start && t[end - 1] == '\r') --end;
        r.text = std::string_view(t).substr(start, end - start);
        out.push_back(std::move(r));
        ++line;
        start = i + 1;
    }
    return out;
}

struct Row {
    long long point;
    std::string_view text;
    const std::string* file;
    long line;
};

std::string where(const std::string& file, long line) {
    return file + ", line " + std::to_string(line);
}

}  // namespace

std::string Merge_Shards(const std::vector<ShardText>& shards) {
    if (shards.empty()) refuse("no shards to merge");
    std::string header, headerFile, id, idWhere;
    long long total = -1;
    std::vector<Row> rows;
    for (const ShardText& shard : shards) {
        const std::vector<Record> recs = records(shard);
        if (recs.empty() || recs[0].first != "point" || recs[0].last != "sweep")
            refuse(shard.name +
                   ": not the CSV of a sweep (its first line is not the header "
                   "point,...,sweep)");
        if (header.empty()) {
            header = std::string(recs[0].text);
            headerFile = shard.name;
        } else if (recs[0].text != header) {
            refuse(shard.name + ": another sweep than " + headerFile +
                   " (the headers differ: other parameters or species)");
        }
        for (std::size_t k = 1; k < recs.size(); ++k) {
            const Record& r = recs[k];
            if (r.fields != recs[0].fields)
                refuse(where(shard.name, r.line) + ": " + std::to_string(r.fields) +
                       " fields where the header has " + std::to_string(recs[0].fields));
            if (id.empty()) {
                id = r.last;
                idWhere = where(shard.name, r.line);
                const std::size_t colon = id.rfind(':');
                const std::string count = colon == std::string::npos ? "" : id.substr(colon + 1);
                const auto [end, ec] =
                    std::from_chars(count.data(), count.data() + count.size(), total);
                if (count.empty() || ec != std::errc() || end != count.data() + count.size() ||
                    total < 1)
                    refuse(idWhere + ": the sweep column " + id + " is not DIGEST:POINTS");
            } else if (r.last != id) {
                refuse(where(shard.name, r.line) + ": another sweep (" + r.last + ") than " +
                       idWhere + " (" + id + ")");
            }
            long long point = -1;
            const auto [end, ec] =
                std::from_chars(r.first.data(), r.first.data() + r.first.size(), point);
            if (r.first.empty() || ec != std::errc() || end != r.first.data() + r.first.size() ||
                point < 0 || point >= total)
                refuse(where(shard.name, r.line) + ": point \"" + r.first +
                       "\" is not one of the sweep's 0 to " + std::to_string(total - 1));
            rows.push_back({point, r.text, &shard.name, r.line});
        }
    }
    if (total < 0) refuse("no shard holds a point: the number of points is unknown");

    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.point < b.point; });
    for (std::size_t k = 1; k < rows.size(); ++k) {
        if (rows[k].point == rows[k - 1].point)
            refuse("point " + std::to_string(rows[k].point) +
                   " is given twice: " + where(*rows[k - 1].file, rows[k - 1].line) + " and " +
                   where(*rows[k].file, rows[k].line));
    }
    if ((long long)rows.size() != total) {
        // The points are distinct and below `total`, so some are missing: name the first.
        std::string list;
        int listed = 0;
        long long expected = 0;
        for (std::size_t k = 0; k <= rows.size() && listed < 10; ++k) {
            const long long next = k < rows.size() ? rows[k].point : total;
            for (; expected < next && listed < 10; ++expected, ++listed)
                list += (listed ? ", " : "") + std::to_string(expected);
            expected = next + 1;
        }
        const long long count = total - (long long)rows.size();
        refuse(std::to_string(count) + " of the sweep's " + std::to_string(total) +
               " points are in no shard: " + list + (count > listed ? ", ..." : ""));
    }

    std::string out = header + "\r\n";
    for (const Row& r : rows) {
        out.append(r.text);
        out += "\r\n";
    }
    return out;
}
