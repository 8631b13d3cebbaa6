#include "SweepPoints.h"

#include <charconv>
#include <limits>

#include "LvError.h"

namespace {

template <class Int>
bool whole(const std::string& text, Int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

SweepSeeds SweepSeeds::Parse(const std::string& text) {
    const std::size_t colon = text.find(':');
    SweepSeeds s;
    if (colon == std::string::npos || !whole(text.substr(0, colon), s.from) ||
        !whole(text.substr(colon + 1), s.to) || s.from > s.to)
        throw SweepOptionError{"--seeds " + Quote_For_Message(text) +
                               ": expected FROM:TO, whole numbers from 0 to 4294967295 with "
                               "FROM <= TO"};
    return s;
}

SweepShard SweepShard::Parse(const std::string& text) {
    const std::size_t slash = text.find('/');
    SweepShard s;
    if (slash == std::string::npos || !whole(text.substr(0, slash), s.k) ||
        !whole(text.substr(slash + 1), s.n) || s.n < 1 || s.k < 0 || s.k >= s.n)
        throw SweepOptionError{"--shard " + Quote_For_Message(text) +
                               ": expected K/N, whole numbers with 0 <= K < N"};
    return s;
}

SweepPoints::SweepPoints(std::vector<SweepAxis> axes, std::optional<SweepSeeds> seeds,
                         SweepShard shard)
    : axes_(std::move(axes)), seeds_(seeds), shard_(shard) {
    if (axes_.size() > 2) throw SweepOptionError{"--vary is given once, or twice for a grid"};
    if (axes_.size() == 2 && axes_[0].parameter.Same_Target(axes_[1].parameter))
        throw SweepOptionError{"--vary " + axes_[0].parameter.name + " and " +
                               axes_[1].parameter.name + " vary the same value"};
    auto times = [&](long long count) {
        if (__builtin_mul_overflow(total_, count, &total_))
            throw SweepOptionError{"the sweep has more points than can be counted"};
    };
    for (const SweepAxis& a : axes_) times(a.count);
    if (seeds_) times(seeds_->Count());
    count_ = shard_.k < total_ ? (total_ - shard_.k - 1) / shard_.n + 1 : 0;
}

std::vector<long long> SweepPoints::Cell(long long index) const {
    long long rest = seeds_ ? index / seeds_->Count() : index;
    std::vector<long long> cell(axes_.size());
    for (std::size_t a = axes_.size(); a-- > 0;) {
        cell[a] = rest % axes_[a].count;
        rest /= axes_[a].count;
    }
    return cell;
}

SweepPoint SweepPoints::Point(long long index) const {
    SweepPoint p;
    p.index = index;
    if (seeds_) p.seed = uint32_t(seeds_->from + uint32_t(index % seeds_->Count()));
    const std::vector<long long> cell = Cell(index);
    for (std::size_t a = 0; a < axes_.size(); ++a) p.values.push_back(axes_[a].Value(cell[a]));
    return p;
}
