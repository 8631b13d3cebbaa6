#include "PopulationMaxima.h"

#include "LvError.h"

PopulationMaxima::PopulationMaxima(int species, double discard, std::size_t cap)
    : species_(species), discard_(discard), cap_(cap) {
    values_.reserve(cap_);
    times_.reserve(cap_);
}

void PopulationMaxima::Start(const Model& model) {
    Check_Index(species_, model.Nanimals, "maxima of species");
    values_.clear();
    times_.clear();
    found_ = 0;
    latest_ = model.Species.rows[species_].x;
    latestTime_ = 0;
    rose_ = false;
}

void PopulationMaxima::Step(const StepView& step) {
    const double value = step.xNew[species_];
    if (rose_ && value <= latest_ && latestTime_ > discard_) {
        ++found_;
        if (values_.size() < cap_) {
            values_.push_back(latest_);
            times_.push_back(latestTime_);
        }
    }
    rose_ = value > latest_;
    latest_ = value;
    latestTime_ = step.t;
}
