#pragma once

#include "base/programvalues.h"
#include "catalogue/fonttable.h"
#include "render/appfaces.h"
#include "render/layout.h"
#include "render/surface.h"

#include <QString>

// One signature drawn as the programs draw it: laid out in the faces of `fonts`, painted over
// `background`. The layout, which keeps its faces registered while it lives.
inline Layout drawSignature(Surface& surface, FontTable& fonts, const ProgramValues& values,
                            const SignatureSpec& spec, const QString& background = {})
{
    AppFaces faces(fonts);
    Layout layout = layOut(spec, faces, values.compoundSurnames);
    drawPicture(surface, background, layout);
    return layout;
}

// The spec at (x, y), or centred where both are -1.
inline SignatureSpec at(SignatureSpec spec, int x, int y)
{
    if (x == -1 && y == -1)
        spec.position.reset();
    else
        spec.position = QPointF(x, y);
    return spec;
}
