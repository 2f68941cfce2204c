#pragma once

#include "catalogue/fonttable.h"
#include "render/appfaces.h"
#include "render/imagesurface.h"
#include "render/layout.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

struct ProgramValues;

// The signature the window shows: its spec, at the size its name is fitted to, laid out and
// painted on the window's picture. Saving, printing and signing take the same layout, drawn
// again at the resolution they need.
class ShownSignature
{
public:
    ShownSignature(const ProgramValues& values, qreal scale);

    AppFontTable& fonts() { return fonts_; }
    ImageSurface& surface() { return surface_; }

    // The size `spec`'s name is drawn whole at, the characters no face draws and those a
    // fallback face draws: known for the last name, style and size asked about, so that a drag
    // asks nothing again.
    double fittedSize(const SignatureSpec& spec);
    const QStringList& missingCharacters() const { return missing_; }
    const QStringList& fallbackCharacters() const { return fallback_; }
    // What a seal cannot hold.
    const QString& leftOut() const { return leftOut_; }

    // Paints `spec` over `background`; nothing is drawn without a style.
    void show(const SignatureSpec& spec, const QString& background);
    bool shown() const { return drawn_.has_value(); }
    const SignatureSpec& spec() const { return *drawn_; }
    const Layout& layout() const { return layout_; }

    // Background plus the signature, at `scale` output pixels a reference pixel; with
    // `transparent`, the signature alone.
    QImage picture(qreal scale, bool transparent);
    // The picture as a PDF page, in outlines; the signature alone on a page the size of its ink.
    QByteArray picturePdf() const;
    QByteArray inkBoxPdf() const;

    // `spec` on nothing at `scale`, centred at the size it fits at: a style list's preview.
    QImage preview(SignatureSpec spec, qreal scale);

private:
    const ProgramValues& values_;
    AppFontTable fonts_;
    AppFaces faces_{fonts_};
    ImageSurface surface_;
    std::optional<SignatureSpec> drawn_;
    QString background_;
    Layout layout_;
    struct Fit
    {
        QString chineseName, latinName, style;
        double asked = 0;
        double points = 0;
        const DrawnSignature* drawn = nullptr;
    };
    std::optional<Fit> fit_;
    QStringList missing_;
    QStringList fallback_;
    QString leftOut_;
};
