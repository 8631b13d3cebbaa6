#pragma once

#include <string>

#include "SweepPoints.h"
#include "SweepRun.h"

// What makes two runs of lv-sweep, or of any front end over the sweep engine, the same sweep:
// the model as read from the parameter file and every setting that decides the points'
// results. Shards whose identities agree merge into one sweep.
//
// The identity is the `sweep` column of the CSV: a digest of both texts and the number of
// points (Sweep_Id). `datStyle` names the reader, as the model's values came through it.
std::string Sweep_Identity(const SweepBase& base, const SweepPoints& points, bool datStyle);

// The model as the file gave it: taken from what was read, not from the file's bytes read
// again, which a pipe cannot give twice and a file may change in between.
std::string Sweep_Model_Text(const SweepBase& base);

// What decides the points' results besides the model.
std::string Sweep_Settings_Text(const SweepBase& base, const SweepPoints& points, bool datStyle);
