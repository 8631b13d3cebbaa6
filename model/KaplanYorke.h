#pragma once

#include <vector>

// The Kaplan-Yorke (Lyapunov) dimension of an attractor from its exponents in descending
// order: with k the largest count whose partial sum lambda(1) + ... + lambda(k) is not
// negative, D = k + (lambda(1) + ... + lambda(k)) / |lambda(k + 1)|; the number of exponents
// when no partial sum is negative, and 0 when the largest is. Exponents of -infinity (lost
// directions) are no different: a partial sum that meets one is negative.
double Kaplan_Yorke_Dimension(const std::vector<double>& descending);
