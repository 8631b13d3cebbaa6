#include "TermSum.h"

double TermSum::Total() const {
    double sum = known_;
    for (int i = 0; i < count_; ++i) sum = (recip_[i] * std::log(dist_[i] / d0_)) + sum;
    return sum;
}
