#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where one shard's bytes come from: a file, standard input, a text in memory.
class ShardSource {
  public:
    explicit ShardSource(std::string shown) : shown_(std::move(shown)) {}
    virtual ~ShardSource() = default;
    ShardSource(const ShardSource&) = delete;
    ShardSource& operator=(const ShardSource&) = delete;

    // The shard as messages name it: its name quoted (Quote_For_Message), or "standard input".
    const std::string& Shown() const { return shown_; }
    // Up to `most` bytes into `into`: how many, 0 at the end, or -errno when the read failed.
    virtual ssize_t Read(char* into, std::size_t most) = 0;

  private:
    std::string shown_;
};

// A shard file opened for reading, standard input for "-". Throws LvError as the readers do:
// "File not found" when its folder has no such file, "Path not found" when a folder on the
// path is missing, "Permission denied" for a file that may not be read or a folder.
std::unique_ptr<ShardSource> Open_Shard(const std::string& path);

// A shard held in memory, named `name`.
std::unique_ptr<ShardSource> Shard_Text(const std::string& name, std::string text);

// Merges the shards of one sweep into its CSV, rows in point order: the same bytes as the
// sweep run in one process, handed to `write` piece by piece as the merge goes. The shards are
// read side by side, one row of each held at a time (each shard holds its points in
// increasing order, as lv-sweep writes them), so memory does not grow with their size. A
// record longer than the readers' line bound is an Overflow at once, and a failing read an
// LvError of its kind, naming the shard and line. A UTF-8 byte order mark before a shard's
// header and blank lines after its last row are let through (a spreadsheet saves them); the
// merged text has neither.
//
// Refuses, with a SweepMergeError naming the shard and line: a text that is not a sweep's
// CSV, shards of different sweeps (another header or sweep column), a shard whose points do
// not increase, a point given twice, a row whose varied values or seed are not those its
// point index gives under the sweep's definition, and points that no shard has. What was
// handed to `write` before a refusal is not the merged CSV: a caller writing a file drops it.
void Merge_Shards(const std::vector<std::unique_ptr<ShardSource>>& shards,
                  const std::function<void(std::string_view)>& write);

struct SweepMergeError {
    std::string message;
};
