#include "Model.h"

#include <string>

#include "LvError.h"

void Check_Index(long i, long size, const char* what) {
    if (i < 0 || i >= size)
        throw LvError(ErrorKind::SubscriptOutOfRange, std::string(what) + "(" + std::to_string(i) +
                                                          "), valid 0 to " +
                                                          std::to_string(size - 1));
}

SpeciesRec& SpeciesTable::operator()(long i) {
    Check_Index(i, MaxSpecies, "Species");
    return rows[static_cast<std::size_t>(i)];
}

const SpeciesRec& SpeciesTable::operator()(long i) const {
    Check_Index(i, MaxSpecies, "Species");
    return rows[static_cast<std::size_t>(i)];
}
