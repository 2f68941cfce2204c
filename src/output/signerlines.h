#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The words written under a certificate signature when the person asks for them: who signed,
// when, and, where given, why and where.
QStringList signerLines(const QString& name, const QDateTime& when, const QString& reason,
                        const QString& location);

// `lines` on a one-page PDF, left-aligned, in the face of `families`, as filled outlines so
// that no font travels with it; a line too long for the page is carried on to the next.
// Empty where nothing can be drawn.
QByteArray linesPdf(const QStringList& lines, const QStringList& families);
