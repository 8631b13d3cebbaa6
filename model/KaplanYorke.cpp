#include "KaplanYorke.h"

#include <cmath>
#include <cstddef>

double Kaplan_Yorke_Dimension(const std::vector<double>& descending) {
    double sum = 0;
    for (std::size_t k = 0; k < descending.size(); ++k) {
        const double next = sum + descending[k];
        if (next < 0) return static_cast<double>(k) + sum / std::fabs(descending[k]);
        sum = next;
    }
    return static_cast<double>(descending.size());
}
