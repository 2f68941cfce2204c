#pragma once

#include <QJsonObject>

struct Layout;

// The placement rules' numbers and the picture's geometry: what the kit builder sizes its faces
// by, from the program itself.
QJsonObject rulesJson();

// A layout as JSON, in twips: its text box, ink box, frame and each run.
QJsonObject layoutJson(const Layout& layout);
