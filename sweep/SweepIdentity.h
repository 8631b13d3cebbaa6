#pragma once

#include <string>
#include <string_view>

#include "SweepPoints.h"
#include "SweepRun.h"

// What makes two runs of lv-sweep, or of any front end over the sweep engine, the same sweep:
// the model as read from the parameter file and every setting that decides the points'
// results. Shards whose identities agree merge into one sweep.
//
// The identity is the `sweep` column of the CSV (Sweep_Column): a digest of both texts, the
// number of points and the points' definition. `datStyle` names the reader, as the model's
// values came through it.
std::string Sweep_Identity(const SweepBase& base, const SweepPoints& points, bool datStyle);

// The model as the file gave it: taken from what was read, not from the file's bytes read
// again, which a pipe cannot give twice and a file may change in between.
std::string Sweep_Model_Text(const SweepBase& base);

// What decides the points' results besides the model.
std::string Sweep_Settings_Text(const SweepBase& base, const SweepPoints& points, bool datStyle);

// The sweep column: "DIGEST:POINTS:DEFINITION", the digest of the model and the settings
// (Sweep_Digest), the number of points, and what makes every point from its index: the axes
// in their order as --vary gives them, then the seeds, separated by ';', a(i,j) written
// a(i/j) so that the column never needs CSV quotes. For example
// "0123456789abcdef:4100:r(1)=0.5:1:41;a(0/1)=0.90000000000000002:1.3:100;seeds=1:1"; a sweep
// of one point has an empty definition ("0123456789abcdef:1:").
std::string Sweep_Column(std::string_view digest, const SweepPoints& points);

// The sweep column read back, for a merge to remake each row's point from its index.
struct SweepColumn {
    std::string digest;
    SweepPoints points;  // the whole sweep
};

// Throws SweepOptionError saying what is wrong with a text that Sweep_Column would not have
// written (any other spelling of the same sweep included, so that the column compares as
// text).
SweepColumn Parse_Sweep_Column(const std::string& text);
