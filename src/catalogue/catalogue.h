#pragma once

#include <QString>
#include <QStringList>

// The lists built from the folders beside the program when the window loads. A position in
// styleNames (the entries of cboFont) indexes FontPaths; one in backgroundNames (cboImg)
// indexes ImagePaths.
struct Catalogue
{
    QStringList styleNames;
    QStringList FontPaths;
    QString StyleList = QStringLiteral(","); // ",name1,name2," of the font-file styles
    QStringList backgroundNames;
    QStringList ImagePaths;
    QStringList sizes;

    int indexOfStyle(const QString& name) const { return styleNames.indexOf(name); }
};

inline const QString FontFileFolder = QStringLiteral("电脑字");
inline const QString DefaultStyle = QStringLiteral("公文签");
inline constexpr int DefaultBackground = 1;
inline const QString DefaultSize = QStringLiteral("72");
// The names the window starts with, so that it opens with a finished signature.
inline const QString SampleChineseName = QStringLiteral("王晓明");
inline const QString SampleLatinName = QStringLiteral("Xiaoming");

// Entries of a folder in name order, ignoring case; hidden entries, "." and ".." never appear.
QStringList listFolder(const QString& folder, bool withFolders);

// "篆印体(SorvexSeal).dat" -> "篆印体": the text before the last "(". A name without "(" is
// listed under its name less the extension.
QString styleNameOfFile(const QString& fileName);

// The face a font-file style selects: after the last "(" of the path up to the next ")".
QString faceNameOfFontFile(const QString& path);

// The face a folder style's font file holds: its file name up to the first ".".
QString faceNameOfFolderFont(const QString& path);

// "01-宣纸.jpg" -> "宣纸": after the first "-" up to the next ".". Falls back to the whole file
// name when that leaves nothing to show.
QString backgroundDisplayName(const QString& fileName);

QStringList standardSizes();

Catalogue loadCatalogue(const QString& AppPath);
