#pragma once

#include "layout.h"

#include <optional>

// Where the placement rules put the text's box: on each axis given, its top-left corner there
// (whole twips); on an axis not given, the rules' own place for a centred name.
struct RulesPlace
{
    std::optional<int> x, y;
};

// The signature laid out by the placement rules alone, at `place`: the ink box and the ink are
// left for layOut, which also centres what shows.
Layout rulesLayout(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames,
                   RulesPlace place);
