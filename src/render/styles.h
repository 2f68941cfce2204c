#pragma once

// The drawing methods behind DrawSignature, one per kind of style.

#include "renderer.h"

void drawOrdinaryStyle(RenderContext& ctx, const QString& name, const QString& fontPath, int x,
                       int y);
void drawSeal(RenderContext& ctx, const QString& name, const QString& fontPath, bool intaglio,
              int x, int y);
void drawFolderStyle(RenderContext& ctx, const QString& styleName, const QString& fontBase,
                     const DrawInputs& in, int x, int y);
