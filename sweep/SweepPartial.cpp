#include "SweepPartial.h"

#include <vector>

#include "LvError.h"
#include "SweepMerge.h"
#include "TextFile.h"

namespace {

// The file's records, one line each, ending CRLF (no field of lv-sweep's holds a line break),
// each at most as long as the readers take.
class Records {
  public:
    explicit Records(const std::string& path) : source_(Open_Shard(path)) {}

    // The next record with its line end, or false at the end of the file.
    bool Next(std::string& record) {
        record.clear();
        for (;;) {
            const std::size_t end = buffer_.find('\n', from_);
            if (end != std::string::npos) {
                record.assign(buffer_, from_, end + 1 - from_);
                from_ = end + 1;
                ++line_;
                return true;
            }
            if (buffer_.size() - from_ > MaxLineLength + 2)
                refuse(line_ + 1,
                       "a line longer than " + std::to_string(MaxLineLength) + " characters");
            buffer_.erase(0, from_);
            from_ = 0;
            char chunk[1 << 14];
            const ssize_t n = source_->Read(chunk, sizeof chunk);
            if (n < 0)
                throw File_Error(
                    int(-n), "reading " + source_->Shown() + ", line " + std::to_string(line_ + 1));
            if (n == 0) {
                if (buffer_.empty()) return false;
                refuse(line_ + 1, "the last line has no line end: the file was cut short");
            }
            buffer_.append(chunk, std::size_t(n));
        }
    }

    long Line() const { return line_; }
    [[noreturn]] void refuse(long line, const std::string& why) const {
        throw SweepPartialError{source_->Shown() + ", line " + std::to_string(line) + ": " + why};
    }

  private:
    std::unique_ptr<ShardSource> source_;
    std::string buffer_;
    std::size_t from_ = 0;
    long line_ = 0;
};

}  // namespace

std::string Partial_Path(const std::string& csvPath) {
    return csvPath + ".partial";
}

long long Resume_From_Partial(const std::string& path, const SweepCsv& csv,
                              const SweepPoints& points,
                              const std::function<void(std::string_view)>& write) {
    Records records(path);
    std::string record;
    if (!records.Next(record) || record != csv.Header())
        records.refuse(1, "not the CSV of this sweep (its header is another)");
    write(record);
    const std::string end = csv.Row_End();
    long long done = 0;
    while (records.Next(record)) {
        if (done == points.Count())
            records.refuse(records.Line(), "more rows than the shard's " +
                                               std::to_string(points.Count()) + " points");
        const SweepPoint point = points.At(done);
        const std::string start = SweepCsv::Row_Start(point);
        if (record.size() < start.size() + end.size() || record.compare(0, start.size(), start) ||
            record.compare(record.size() - end.size(), end.size(), end))
            records.refuse(records.Line(),
                           "not the row of point " + std::to_string(point.index) +
                               " of this sweep, which comes next (" +
                               Quote_For_Message(record.substr(0, record.find(',')), 20) + ")");
        write(record);
        ++done;
    }
    return done;
}

void Resume_Side_Partial(const std::string& path, const std::string& header,
                         const std::function<void(std::string_view)>& write) {
    Records records(path);
    std::string record;
    if (!records.Next(record) || record != header)
        records.refuse(1, "not the CSV of this sweep's maxima (its header is another)");
    write(record);
    while (records.Next(record)) write(record);
}
