#pragma once

#include <string>
#include <vector>

// One shard as read: a name for messages (its file) and its CSV text.
struct ShardText {
    std::string name;
    std::string text;
};

// Merges the shards of one sweep into its CSV, rows in point order: the same bytes as the
// sweep run in one process. Refuses, with an SweepMergeError saying which file and line:
// a text that is not a sweep's CSV, shards of different sweeps (another header or sweep
// column), a point given twice, and points that no shard has.
std::string Merge_Shards(const std::vector<ShardText>& shards);

struct SweepMergeError {
    std::string message;
};
