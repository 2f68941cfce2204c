#include "catalogue.h"

#include "stylerules.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

QStringList listFolder(const QString& folder, bool withFolders)
{
    const QDir dir(folder);
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
    if (withFolders)
        filters |= QDir::Dirs;
    // Case-insensitive name order: readdir order is arbitrary and must not decide the lists.
    return dir.entryList(filters, QDir::Name | QDir::IgnoreCase);
}

static QString withoutExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString styleNameOfFile(const QString& fileName)
{
    const qsizetype paren = fileName.lastIndexOf(u'(');
    return paren < 0 ? withoutExtension(fileName) : fileName.left(paren);
}

QString faceNameOfFontFile(const QString& path)
{
    const qsizetype paren = path.lastIndexOf(u'(');
    if (paren < 0)
        return withoutExtension(path.mid(path.lastIndexOf(u'/') + 1));
    const qsizetype close = path.indexOf(u')', paren + 1);
    return close < 0 ? path.mid(paren + 1) : path.mid(paren + 1, close - paren - 1);
}

QString faceNameOfFolderFont(const QString& path)
{
    const QString fileName = path.mid(path.lastIndexOf(u'/') + 1);
    return fileName.left(fileName.indexOf(u'.'));
}

QString backgroundDisplayName(const QString& fileName)
{
    const QString afterDash = fileName.mid(fileName.indexOf(u'-') + 1);
    const qsizetype dot = afterDash.indexOf(u'.');
    const QString name = dot < 0 ? afterDash : afterDash.left(dot);
    return name.isEmpty() ? fileName : name;
}

QStringList standardSizes()
{
    QStringList sizes = QStringLiteral("8,9,10,11,12,22,24,26,28,36,48,72").split(u',');
    for (int size = 100; size < 200; size += 15)
        sizes << QString::number(size);
    return sizes;
}

int Catalogue::indexOfStyle(const QString& name) const
{
    for (int i = 0; i < styles.size(); ++i)
        if (styles[i].name == name)
            return i;
    return -1;
}

QStringList Catalogue::styleNames() const
{
    QStringList names;
    for (const Style& style : styles)
        names << style.name;
    return names;
}

QStringList Catalogue::backgroundNames() const
{
    QStringList names;
    for (const Background& background : backgrounds)
        names << background.name;
    return names;
}

Style fontFileStyle(const QString& name, const QString& path)
{
    Style style{name, Style::Kind::FontFile, {path}, {faceNameOfFontFile(path)}};
    if (name == SealStyle)
        style.kind = Style::Kind::Seal;
    else if (name == SealStyleIntaglio)
        style.kind = Style::Kind::IntaglioSeal;
    return style;
}

Style folderStyle(const QString& name, const QString& base)
{
    Style style{name,
                name.contains(LatinStyleMark) ? Style::Kind::LatinFolder : Style::Kind::Folder,
                {},
                {}};
    for (int k = 1; k <= 3; ++k) {
        style.files << base + QString::number(k) + QStringLiteral(".dat");
        style.faces << faceNameOfFolderFont(style.files.last());
    }
    return style;
}

Catalogue loadCatalogue(const QString& appPath)
{
    Catalogue c;
    const QString fontsDir = appPath + QStringLiteral("fonts/");
    const QString fileStyles = fontsDir + FontFileFolder + u'/';
    const QStringList styleFiles = listFolder(fileStyles, false);
    QSet<QString> fileStyleNames;
    for (const QString& file : styleFiles)
        fileStyleNames.insert(styleNameOfFile(file));

    // Every entry of fonts/ but the font-file folder is a folder style, plain files included.
    for (const QString& name : listFolder(fontsDir, true)) {
        if (name == FontFileFolder)
            continue;
        const QString folder = fontsDir + name + u'/';
        const QStringList files = listFolder(folder, false);
        // A folder's three files share the first three letters of its first file's name.
        Style style = folderStyle(name, files.isEmpty() ? folder : folder + files.first().left(3));
        // A Chinese folder style named like a font-file style gives way to it.
        if (style.kind == Style::Kind::Folder && fileStyleNames.contains(name)) {
            c.problems << QStringLiteral("款式“%1”有两个：%2 和 %3。只用字体文件那个。")
                              .arg(name, fontsDir + name, fileStyles);
            continue;
        }
        c.styles << style;
    }

    // A file there without the font suffix is taken for the start of a folder style's names,
    // and so draws nothing unless it is a Latin style.
    for (const QString& file : styleFiles) {
        const QString name = styleNameOfFile(file);
        const QString path = fileStyles + file;
        if (file.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive))
            c.styles << fontFileStyle(name, path);
        else if (name.contains(LatinStyleMark))
            c.styles << folderStyle(name, path);
        else
            c.styles << Style{name, Style::Kind::Folder, {}, {}};
    }

    // A style is listed once, with files to draw with: one that has none of its files would
    // draw a blank picture, and a second of one name would never be chosen, or be chosen in
    // place of the first.
    QHash<QString, QString> placeOf;
    QList<Style> listed;
    for (const Style& style : std::as_const(c.styles)) {
        const QString place = style.files.isEmpty()
                                  ? fontsDir + style.name
                                  : QFileInfo(style.files.first()).absolutePath() +
                                        (style.kind == Style::Kind::Folder ||
                                                 style.kind == Style::Kind::LatinFolder
                                             ? QString()
                                             : u'/' + QFileInfo(style.files.first()).fileName());
        if (std::none_of(style.files.cbegin(), style.files.cend(),
                         [](const QString& f) { return QFileInfo(f).isFile(); }))
            continue;
        if (const auto first = placeOf.constFind(style.name); first != placeOf.constEnd()) {
            c.problems << QStringLiteral("款式“%1”有两个：%2 和 %3。只用前一个。")
                              .arg(style.name, *first, place);
            continue;
        }
        placeOf.insert(style.name, place);
        listed << style;
    }
    c.styles = listed;

    const QString imagesDir = appPath + QStringLiteral("images/");
    for (const QString& file : listFolder(imagesDir, false))
        c.backgrounds << Background{backgroundDisplayName(file), imagesDir + file};

    c.sizes = standardSizes();
    return c;
}
