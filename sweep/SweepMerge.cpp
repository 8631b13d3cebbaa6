#include "SweepMerge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <queue>
#include <system_error>

#include "Convert.h"
#include "LvError.h"
#include "SweepCsv.h"
#include "SweepIdentity.h"
#include "TextFile.h"

namespace {

constexpr std::size_t ReadSize = 16384;     // per shard: a merge of many shards stays small
constexpr std::size_t WriteSize = 1 << 16;  // merged text handed on at a time
constexpr int MissingListed = 10;

[[noreturn]] void refuse(const std::string& message) {
    throw SweepMergeError{message};
}

class FileShard final : public ShardSource {
  public:
    FileShard(std::string shown, int fd, bool owned)
        : ShardSource(std::move(shown)), fd_(fd), owned_(owned) {}
    ~FileShard() override {
        if (owned_) ::close(fd_);
    }
    ssize_t Read(char* into, std::size_t most) override {
        for (;;) {
            const ssize_t got = ::read(fd_, into, most);
            if (got >= 0) return got;
            if (errno != EINTR) return -errno;
        }
    }

  private:
    int fd_;
    bool owned_;
};

class TextShard final : public ShardSource {
  public:
    TextShard(std::string shown, std::string text)
        : ShardSource(std::move(shown)), text_(std::move(text)) {}
    ssize_t Read(char* into, std::size_t most) override {
        const std::size_t n = std::min(most, text_.size() - at_);
        std::memcpy(into, text_.data() + at_, n);
        at_ += n;
        return ssize_t(n);
    }

  private:
    std::string text_;
    std::size_t at_ = 0;
};

// A missing file in a folder that exists is "File not found"; a missing folder on the way
// there is "Path not found".
bool folderExists(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec);
}

void refuseFolder(int fd, const std::string& what) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw File_Error(EISDIR, what);
}

// A CSV field as written: its quotes taken off.
std::string unquoted(std::string_view field) {
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::string(field);
    std::string out;
    for (std::size_t i = 1; i + 1 < field.size(); ++i) {
        out += field[i];
        if (field[i] == '"' && field[i + 1] == '"') ++i;
    }
    return out;
}

// One shard read record by record, as it comes: a line break inside quotes belongs to the
// field, and no record is read past the readers' line bound.
class ShardReader {
  public:
    explicit ShardReader(ShardSource& source) : source_(&source), buffer_(new char[ReadSize]) {}

    // The next record; false at the end of the shard, which blank lines may precede.
    bool Next() {
        long blank = 0;
        while (readRecord()) {
            if (!record_.empty()) {
                if (blank) refuse(Where(blank) + ": a blank line before the last row");
                return true;
            }
            if (!blank) blank = line_;
        }
        return false;
    }

    std::string_view Text() const { return record_; }
    long Line() const { return line_; }
    std::size_t Fields() const { return commas_.size() + 1; }
    // Field i as written, quotes and all.
    std::string_view Field(std::size_t i) const {
        const std::size_t from = i == 0 ? 0 : commas_[i - 1] + 1;
        const std::size_t to = i < commas_.size() ? commas_[i] : record_.size();
        return std::string_view(record_).substr(from, to - from);
    }
    const std::string& Shown() const { return source_->Shown(); }
    std::string Where(long line) const { return Shown() + ", line " + std::to_string(line); }
    std::string Where() const { return Where(line_); }

  private:
    // Fills the buffer at `end_`; false at the end of the shard.
    bool fill() {
        if (ended_) return false;
        const ssize_t got = source_->Read(buffer_.get() + end_, ReadSize - end_);
        if (got < 0)
            throw File_Error(int(-got), "reading " + Shown() + ", line " + std::to_string(next_));
        ended_ = got == 0;
        end_ += std::size_t(got);
        return got > 0;
    }

    int get() {
        if (at_ == end_) {
            at_ = end_ = 0;
            if (!fill()) return -1;
        }
        return static_cast<unsigned char>(buffer_[at_++]);
    }

    // A spreadsheet may begin the text with a byte order mark; it is not part of the header.
    void skipByteOrderMark() {
        while (end_ < 3 && fill()) {
        }
        if (end_ >= 3 && std::memcmp(buffer_.get(), "\xEF\xBB\xBF", 3) == 0) at_ = 3;
    }

    [[noreturn]] void overflow() const {
        throw LvError(ErrorKind::Overflow, Where() + ": the record is longer than " +
                                               std::to_string(MaxLineLength) + " characters");
    }

    bool readRecord() {
        if (!started_) {
            started_ = true;
            skipByteOrderMark();
        }
        record_.clear();
        commas_.clear();
        line_ = next_;
        int c = get();
        if (c < 0) return false;
        bool quoted = false;
        for (; c >= 0; c = get()) {
            if (c == '\n') {
                ++next_;
                if (!quoted) {
                    if (!record_.empty() && record_.back() == '\r') record_.pop_back();
                    return true;
                }
            } else if (c == '"') {
                quoted = !quoted;  // a doubled quote inside quotes ends and opens them again
            } else if (c == ',' && !quoted) {
                commas_.push_back(record_.size());
            }
            // One byte past the bound may be the '\r' of the line's end.
            if (record_.size() >= MaxLineLength && (c != '\r' || record_.size() > MaxLineLength))
                overflow();
            record_ += char(c);
        }
        if (quoted) refuse(Where() + ": a quote is never closed");
        if (record_.size() > MaxLineLength) overflow();
        return true;
    }

    ShardSource* source_;
    std::unique_ptr<char[]> buffer_;
    std::size_t at_ = 0, end_ = 0;
    bool ended_ = false, started_ = false;
    std::string record_;
    std::vector<std::size_t> commas_;
    long line_ = 0;  // where the record starts
    long next_ = 1;  // where the next one starts
};

struct Shard {
    ShardReader reader;
    long long last = -1;  // the point of its row before
    long lastLine = 0;
};

// The merge's state: the sweep as the first row names it, and every check of a row.
class Merger {
  public:
    explicit Merger(const std::vector<std::unique_ptr<ShardSource>>& sources) {
        if (sources.empty()) refuse("no shards to merge");
        shards_.reserve(sources.size());
        for (const auto& source : sources) {
            shards_.push_back({ShardReader(*source)});
            readHeader(shards_.back().reader);
        }
    }

    void Run(const std::function<void(std::string_view)>& write) {
        // Every shard's next row, by point; ties go to the shard named first.
        using Head = std::pair<long long, std::size_t>;
        std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
        for (std::size_t k = 0; k < shards_.size(); ++k)
            if (take(shards_[k])) heads.push({shards_[k].last, k});
        if (!column_) refuse("no shard holds a point: the number of points is unknown");

        std::string out = header_ + "\r\n";
        long long expected = 0;
        std::size_t lastShard = 0;
        long lastLine = 0;
        while (!heads.empty()) {
            const auto [point, k] = heads.top();
            heads.pop();
            Shard& shard = shards_[k];
            if (point < expected)
                refuse("point " + std::to_string(point) + " is given twice: " +
                       shards_[lastShard].reader.Where(lastLine) + " and " + shard.reader.Where());
            // A missing point fails the merge, but the count of them needs every row read.
            if (point > expected) missing(expected, point);
            if (missing_ == 0) {
                out.append(shard.reader.Text());
                out += "\r\n";
                if (out.size() >= WriteSize) {
                    write(out);
                    out.clear();
                }
            }
            expected = point + 1;
            lastShard = k;
            lastLine = shard.reader.Line();
            if (take(shard)) heads.push({shard.last, k});
        }
        missing(expected, column_->points.Total());
        if (missing_ > 0)
            refuse(std::to_string(missing_) + " of the sweep's " +
                   std::to_string(column_->points.Total()) + " points are in no shard: " +
                   missingList_ + (missing_ > MissingListed ? ", ..." : ""));
        write(out);
    }

  private:
    void readHeader(ShardReader& r) {
        if (!r.Next()) refuse(r.Shown() + ": not the CSV of a sweep: the file is empty");
        if (unquoted(r.Field(0)) != "point" || unquoted(r.Field(r.Fields() - 1)) != "sweep")
            refuse(r.Where() +
                   ": not the CSV of a sweep (its first line is not the header point,...,sweep)");
        if (headerFrom_.empty()) {
            header_ = std::string(r.Text());
            for (std::size_t f = 0; f < r.Fields(); ++f)
                headerNames_.push_back(unquoted(r.Field(f)));
            headerFrom_ = r.Shown();
        } else if (r.Text() != header_) {
            refuse(r.Where() + ": another sweep than " + headerFrom_ +
                   " (the headers differ: other parameters or species)");
        }
    }

    // The sweep that the first row names: its header must be the one lv-sweep writes for it.
    void takeColumn(const ShardReader& r, const std::string& text) {
        try {
            column_.emplace(Parse_Sweep_Column(text));
        } catch (const SweepOptionError& e) {
            refuse(r.Where() + ": the sweep column " + Quote_For_Message(text, 100) +
                   " does not define a sweep: " + e.message);
        }
        id_ = text;
        idWhere_ = r.Where();
        const std::vector<SweepAxis>& axes = column_->points.Axes();
        const std::size_t varied = axes.size();
        // The header lv-sweep writes for these axes, as many species as it has x columns, and
        // the spectrum's columns when it has them.
        int species = 0;
        bool spectrum = false;
        for (const std::string& name : headerNames_) {
            species += name.size() > 1 && name[0] == 'x' &&
                       name.find_first_not_of("0123456789", 1) == std::string::npos;
            spectrum = spectrum || name == "dimension";
        }
        bool fits = headerNames_.size() >= varied + 1;
        std::vector<std::string> names;
        for (std::size_t a = 0; fits && a < varied; ++a) {
            const std::string& name = headerNames_[a + 1];
            try {
                fits = SweepParameter::Parse(name).Same_Target(axes[a].parameter);
            } catch (const SweepOptionError&) {
                fits = false;
            }
            names.push_back(name);
        }
        if (fits) fits = SweepCsv(names, species, "", spectrum).Header() == header_ + "\r\n";
        if (!fits)
            refuse(headerFrom_ + ", line 1: the header is not lv-sweep's for the sweep that " +
                   idWhere_ + " names (" + Quote_For_Message(text, 100) + ")");
    }

    // Reads the shard's next row and checks it; false at the shard's end.
    bool take(Shard& s) {
        ShardReader& r = s.reader;
        if (!r.Next()) return false;
        if (r.Fields() != headerNames_.size())
            refuse(r.Where() + ": " + std::to_string(r.Fields()) + " fields where the header has " +
                   std::to_string(headerNames_.size()));
        const std::string_view id = r.Field(r.Fields() - 1);
        if (!column_)
            takeColumn(r, std::string(id));
        else if (id != id_)
            refuse(r.Where() + ": another sweep (" + Quote_For_Message(std::string(id), 100) +
                   ") than " + idWhere_ + " (" + Quote_For_Message(id_, 100) + ")");

        const SweepPoints& points = column_->points;
        const std::string_view text = r.Field(0);
        long long point = -1;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), point);
        if (ec != std::errc() || end != text.data() + text.size() || point < 0 ||
            point >= points.Total() || std::to_string(point) != text)
            refuse(r.Where() + ": point " + Quote_For_Message(std::string(text)) +
                   " is not one of the sweep's 0 to " + std::to_string(points.Total() - 1));
        if (point == s.last)
            refuse("point " + std::to_string(point) + " is given twice: " + r.Where(s.lastLine) +
                   " and " + r.Where());
        if (point < s.last)
            refuse(r.Where() + ": point " + std::to_string(point) + " comes after point " +
                   std::to_string(s.last) + " (line " + std::to_string(s.lastLine) +
                   "): a shard holds its points in increasing order");

        // The row's values as the writer writes those its index gives.
        const SweepPoint made = points.Point(point);
        const std::vector<SweepAxis>& axes = points.Axes();
        for (std::size_t a = 0; a < axes.size(); ++a) {
            const std::string want = Format_Shortest(made.values[a]);
            if (r.Field(a + 1) != want)
                refuse(r.Where() + ": point " + std::to_string(point) + " has " +
                       axes[a].parameter.name + " " +
                       Quote_For_Message(std::string(r.Field(a + 1))) +
                       ", where the sweep's definition gives " + want);
        }
        const std::string seed = made.seed ? std::to_string(*made.seed) : "";
        if (r.Field(axes.size() + 1) != seed)
            refuse(r.Where() + ": point " + std::to_string(point) + " has the seed " +
                   Quote_For_Message(std::string(r.Field(axes.size() + 1))) +
                   ", where the sweep's definition gives " +
                   (seed.empty() ? std::string("none") : seed));
        s.last = point;
        s.lastLine = r.Line();
        return true;
    }

    // Points [from, to) are in no shard.
    void missing(long long from, long long to) {
        missing_ += to - from;
        for (long long p = from; p < to && listed_ < MissingListed; ++p, ++listed_)
            missingList_ += (listed_ ? ", " : "") + std::to_string(p);
    }

    std::vector<Shard> shards_;
    std::string header_, headerFrom_;
    std::vector<std::string> headerNames_;  // its fields, unquoted
    std::optional<SweepColumn> column_;
    std::string id_, idWhere_;
    long long missing_ = 0;
    int listed_ = 0;
    std::string missingList_;
};

}  // namespace

std::unique_ptr<ShardSource> Open_Shard(const std::string& path) {
    if (path == "-") {
        refuseFolder(STDIN_FILENO, "reading standard input");
        return std::make_unique<FileShard>("standard input", STDIN_FILENO, false);
    }
    const std::string shown = Quote_For_Message(path, 200);
    const std::string what = "reading " + shown;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT && folderExists(path))
            throw File_Error(ErrorKind::FileNotFound, err, what);
        throw File_Error(err, what);
    }
    auto shard = std::make_unique<FileShard>(shown, fd, true);
    refuseFolder(fd, what);
    return shard;
}

std::unique_ptr<ShardSource> Shard_Text(const std::string& name, std::string text) {
    return std::make_unique<TextShard>(Quote_For_Message(name, 200), std::move(text));
}

void Merge_Shards(const std::vector<std::unique_ptr<ShardSource>>& shards,
                  const std::function<void(std::string_view)>& write) {
    Merger(shards).Run(write);
}
