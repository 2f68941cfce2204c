#pragma once

#include <QString>
#include <QStringList>

// A style of the list: what it is called, how it draws, and the font files it draws with.
struct Style
{
    enum class Kind {
        FontFile,     // one file, the name drawn with tightened spacing
        Seal,         // one file, the name in a red frame's cells
        IntaglioSeal, // the same, white on a red square
        Folder,       // three files: surname, middle and last character each in its own
        LatinFolder,  // the same for the Latin-letter name
        Handwriting,  // no file: the signature the person wrote by hand
    };
    QString name;
    Kind kind = Kind::FontFile;
    QStringList
        files; // the one file, or head, middle and tail; none for a style that draws nothing
    QStringList faces; // the face each file holds

    bool isFolder() const { return kind == Kind::Folder || kind == Kind::LatinFolder; }
    bool isSeal() const { return kind == Kind::Seal || kind == Kind::IntaglioSeal; }
};

struct Background
{
    QString name;
    QString path;
};

// The lists built once from the folders of the data kit.
struct Catalogue
{
    QList<Style> styles;
    QList<Background> backgrounds;
    QStringList sizes;
    // What a person should be told about the folders: a style left out, and why, in Chinese.
    QStringList problems;

    int indexOfStyle(const QString& name) const;
    QStringList styleNames() const;
    QStringList backgroundNames() const;
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

// A style of one font file: a seal by its name, else drawn with tightened spacing.
Style fontFileStyle(const QString& name, const QString& path);
// A folder style whose files are `base` followed by 1, 2 and 3 and ".dat"; Latin by its name.
Style folderStyle(const QString& name, const QString& base);

Catalogue loadCatalogue(const QString& appPath);
