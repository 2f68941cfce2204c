#include "options.h"

#include "stampoptions.h"

#include "app/startup.h"
#include "catalogue/stylerules.h"
#include "pdf/pagelist.h"
#include "signmessages.h"

#include <QColor>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace {

struct Declared
{
    QCommandLineOption data{QStringLiteral("data"),
                            QStringLiteral("Folder holding fonts/, images/ and data/."),
                            QStringLiteral("DIR")};
    QCommandLineOption style{QStringLiteral("style"), QStringLiteral("Style name as listed."),
                             QStringLiteral("NAME"), DefaultStyle};
    QCommandLineOption cn{QStringLiteral("cn"), QStringLiteral("The Chinese name."),
                          QStringLiteral("TEXT"), SampleChineseName};
    QCommandLineOption en{QStringLiteral("en"), QStringLiteral("The Latin-letter name."),
                          QStringLiteral("TEXT"), SampleLatinName};
    QCommandLineOption size{QStringLiteral("size"),
                            QStringLiteral("Type size in points, as the size box takes it."),
                            QStringLiteral("TEXT")};
    QCommandLineOption color{QStringLiteral("color"), QStringLiteral("Ink colour."),
                             QStringLiteral("#RRGGBB")};
    QCommandLineOption background{
        QStringLiteral("background"),
        QStringLiteral("Background by display name or list position, or none."),
        QStringLiteral("NAME|INDEX|none")};
    QCommandLineOption pos{QStringLiteral("pos"),
                           QStringLiteral("Text position in twips; -1 centres an axis."),
                           QStringLiteral("X,Y"), QStringLiteral("-1,-1")};
    QCommandLineOption scale{QStringLiteral("scale"),
                             QStringLiteral("Output pixels per reference pixel, 1 to 8."),
                             QStringLiteral("N"), QStringLiteral("1")};
    QCommandLineOption fit{
        QStringLiteral("fit"),
        QStringLiteral("A name whose ink would come within 6 pixels of the picture's edge is "
                       "drawn at the largest size, in half points down to 8, that keeps it "
                       "inside (the default; with --batch, every row's own).")};
    QCommandLineOption exactSize{
        QStringLiteral("exact-size"),
        QStringLiteral("Draw at the size asked even where the name runs past the picture.")};
    QCommandLineOption strict{
        QStringLiteral("strict"),
        QStringLiteral("A picture that would be drawn in a substitute face (a style's font file "
                       "cannot be read) or on white (the background cannot be read) is not "
                       "written; exit status 3.")};
    QCommandLineOption worn{
        QStringLiteral("worn"),
        QStringLiteral("A seal looks worn, as an old carved one does: its edges eaten and its "
                       "frame broken in a few places, the same for the same name (pictures "
                       "only; SVG and PDF keep clean outlines).")};
    QCommandLineOption transparent{
        QStringLiteral("transparent"),
        QStringLiteral("No background picture, only the drawing (PNG, SVG or PDF).")};
    QCommandLineOption output{
        QStringList{QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Output file (.png .bmp .jpg .svg .pdf); with --batch, "
                       "the output folder."),
        QStringLiteral("FILE")};
    QCommandLineOption batch{QStringLiteral("batch"),
                             QStringLiteral("One picture per row cn,en[,style[,file]]."),
                             QStringLiteral("FILE.csv")};
    QCommandLineOption shard{QStringLiteral("shard"),
                             QStringLiteral("With --batch, draw only the K-th of N interleaved parts "
                                            "of the rows (K, K+N, K+2N, ...), each under the name "
                                            "the whole batch gives it: N runs write the batch."),
                             QStringLiteral("K/N")};
    QCommandLineOption jobs{QStringLiteral("jobs"),
                            QStringLiteral("With --batch, draw in N processes at once (default: "
                                           "one for every two processor cores, each drawing on "
                                           "one and writing on the other); the pictures and the "
                                           "report are the same as from one."),
                            QStringLiteral("N")};
    QCommandLineOption batchWorker{QStringLiteral("batch-worker")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("List the styles and backgrounds.")};
    QCommandLineOption sheet{
        QStringLiteral("sheet"),
        QStringLiteral("Every style, each with its own name, in one picture.")};
    QCommandLineOption report{QStringLiteral("report"),
                              QStringLiteral("After drawing, one line of JSON.")};
    QCommandLineOption stamp{
        QStringLiteral("stamp"),
        QStringLiteral("Put the signature onto this PDF; -o names the signed copy."),
        QStringLiteral("FILE.pdf")};
    QCommandLineOption signWith{
        QStringLiteral("sign-with"),
        QStringLiteral("With --stamp, sign with the certificate and key of this PKCS#12 file, of "
                       "a PKCS#11 token (an RFC 7512 pkcs11: URI naming its token and object; "
                       "module-path where its module is not one p11-kit knows) or of the NSS "
                       "database in ~/.pki/nssdb (nss:NICKNAME): the signature on the first page "
                       "becomes a signature field over the whole document. The password, or the "
                       "token's PIN, is asked once, when signing."),
        QStringLiteral("ID.p12|pkcs11:URI|nss:NICKNAME")};
    QCommandLineOption passwordFile{
        QStringLiteral("password-file"),
        QStringLiteral("With --sign-with, the file whose first line is the password (never on "
                       "the command line); without it the password is asked on the terminal."),
        QStringLiteral("FILE")};
    QCommandLineOption field{
        QStringLiteral("field"),
        QStringLiteral("With --sign-with, sign this empty signature field of the document (its "
                       "full name) instead of adding one; a document certified for form filling "
                       "and signing only has its first empty one signed unless this is given."),
        QStringLiteral("NAME")};
    QCommandLineOption reason{QStringLiteral("reason"),
                              QStringLiteral("With --sign-with, why the document is signed."),
                              QStringLiteral("TEXT")};
    QCommandLineOption location{QStringLiteral("location"),
                                QStringLiteral("With --sign-with, where it is signed."),
                                QStringLiteral("TEXT")};
    QCommandLineOption signerLines{
        QStringLiteral("signer-lines"),
        QStringLiteral("With --sign-with, write under the signature who signed it and when, "
                       "and the reason and location where given.")};
    QCommandLineOption tsa{
        QStringLiteral("tsa"),
        QStringLiteral("With --sign-with, have the signature time-stamped by this RFC 3161 "
                       "authority (an http or https address): a trusted time for it. Where the "
                       "authority does not answer, refuses or answers wrongly, nothing is written."),
        QStringLiteral("URL")};
    QCommandLineOption ltv{
        QStringLiteral("ltv"),
        QStringLiteral("With --tsa, keep in the document what checks the signature once its "
                       "certificate has expired (level B-LT): the certificates and the answers of "
                       "the OCSP responders or revocation lists the certificates name, in a "
                       "revision of its own. Where a status cannot be known, nothing is written.")};
    QCommandLineOption ltvOffline{
        QStringLiteral("ltv-offline"),
        QStringLiteral("With --ltv, take the OCSP responses and revocation lists (DER or PEM) from "
                       "the files of this folder instead of asking for them."),
        QStringLiteral("DIR")};
    QCommandLineOption archiveTimeStamp{
        QStringLiteral("archive-timestamp"),
        QStringLiteral("With --tsa, add a document time stamp over all of the signed document "
                       "(level B-LTA with --ltv), in a revision of its own.")};
    QCommandLineOption tsaTimeout{
        QStringLiteral("tsa-timeout"),
        QStringLiteral("With --tsa, how many seconds to wait for its answer (30)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption documentPasswordFile{
        QStringLiteral("document-password-file"),
        QStringLiteral("With --stamp or --verify, the file (or pipe) whose first line is the "
                       "document's own password, for a document that needs one."),
        QStringLiteral("FILE")};
    QCommandLineOption drawn{
        QStringLiteral("drawn"),
        QStringLiteral("Draw, or with --stamp put on the document, the signature written by hand "
                       "on the window's pad (its .json file, in the program's data folder), or "
                       "on paper (a photograph or scan, PNG or JPEG: the paper taken away), "
                       "instead of a typed name: -o FILE.png, .svg or .pdf, in its ink or "
                       "--color, --scale times its size."),
        QStringLiteral("FILE")};
    QCommandLineOption layoutJson{
        QStringLiteral("layout-json"),
        QStringLiteral("Print the placement rules' numbers and the picture's size as JSON, and "
                       "where the kit is there, the layout of the signature the options "
                       "describe (twips: its text's box, its ink's box, each text placed).")};
    QCommandLineOption verify{
        QStringLiteral("verify"),
        QStringLiteral("Check every signature of this PDF: one line each, saying who signed, "
                       "when, what it covers, whether the bytes it covers are those signed, and "
                       "what each later revision changed. Exit status 0 when every signature "
                       "holds and only signatures and validation data came after them; 4 when "
                       "form filling or annotations they allow came after; 5 with "
                       "--require-trusted when a certificate is not trusted; 6 when a change "
                       "they do not allow came after; 7 when a signature does not hold or "
                       "cannot be judged."),
        QStringLiteral("FILE.pdf")};
    QCommandLineOption trust{
        QStringLiteral("trust"),
        QStringLiteral("With --verify, certificates (PEM) a signature's chain may end in, "
                       "besides those this system trusts; may be given more than once."),
        QStringLiteral("FILE")};
    QCommandLineOption requireTrusted{
        QStringLiteral("require-trusted"),
        QStringLiteral("With --verify, fail (exit status 5) when a signature's certificate is "
                       "not trusted.")};
    QCommandLineOption stampBatch{
        QStringLiteral("stamp-batch"),
        QStringLiteral("Sign a batch of documents: a list of rows (UTF-8 or GB18030 a row): the "
                       "document, the signed copy to write (into the -o folder where relative), "
                       "and optionally its pages, \"X,Y\", width, field, reason and location, "
                       "each over what --page, --at, --width, --field, --reason and --location "
                       "say. With every option of --stamp; the key opened and its password or PIN "
                       "asked once. --stamp FOLDER -o FOLDER signs every PDF of a folder alike. "
                       "Exit status 0 when every document was signed, 8 when some were not, 1 "
                       "when none was."),
        QStringLiteral("FILE.csv")};
    QCommandLineOption stopOnError{
        QStringLiteral("stop-on-error"),
        QStringLiteral("With a batch of documents, sign no more after the first that fails.")};
    QCommandLineOption overwriteInputs{
        QStringLiteral("overwrite-inputs"),
        QStringLiteral("With a batch of documents, let a row's signed copy take its document's "
                       "place (refused otherwise).")};
    QCommandLineOption flatten{
        QStringLiteral("flatten"),
        QStringLiteral("With --stamp, draw the signature into the page's content and write the "
                       "document anew, instead of adding it as an annotation after the "
                       "document's own bytes.")};
    QCommandLineOption breakSignatures{
        QStringLiteral("break-signatures"),
        QStringLiteral("With --stamp --flatten, sign a document that carries a digital "
                       "signature, which will then no longer verify.")};
    QCommandLineOption page{QStringLiteral("page"),
                            QStringLiteral("With --stamp, the pages to sign, from 1: a list such "
                                           "as 1,3-5,last, or all."),
                            QStringLiteral("PAGES"), QStringLiteral("1")};
    QCommandLineOption acrossPages{
        QStringLiteral("across-pages"),
        QStringLiteral("With --stamp and a seal style, cut the seal into one vertical slice a "
                       "page (every page, or those of --page), each at its page's right edge at "
                       "the height of --at, so that the pages fanned out show the whole seal "
                       "(骑缝章).")};
    QCommandLineOption at{
        QStringLiteral("at"),
        QStringLiteral("With --stamp, millimetres from the page's top-left corner."),
        QStringLiteral("X,Y")};
    QCommandLineOption width{QStringLiteral("width"),
                             QStringLiteral("With --stamp, the signature's width in millimetres "
                                            "(default: its own size)."),
                             QStringLiteral("MM")};
};

Failure badArgument(const QString& message)
{
    return {ExitBadArguments, message};
}

std::optional<Failure> readPicture(const QCommandLineParser& parser, const Declared& d, Job& job)
{
    job.style = parser.value(d.style);
    job.cn = parser.value(d.cn);
    job.en = parser.value(d.en);
    if (parser.isSet(d.size))
        job.size = parser.value(d.size);
    if (parser.isSet(d.color)) {
        const QString text = parser.value(d.color);
        const QColor c = QColor::fromString(text);
        if (!c.isValid() || !text.startsWith(u'#'))
            return badArgument(QStringLiteral("colour \"%1\" is not #RRGGBB").arg(text));
        job.color = c.rgb();
    }
    job.background = parser.value(d.background);

    const QString position = parser.value(d.pos);
    const QStringList xy = position.split(u',');
    bool okX = false, okY = false;
    if (xy.size() == 2) {
        // -1 centres an axis.
        const int x = xy[0].trimmed().toInt(&okX), y = xy[1].trimmed().toInt(&okY);
        if (x != -1)
            job.x = x;
        if (y != -1)
            job.y = y;
    }
    if (!okX || !okY)
        return badArgument(QStringLiteral("position \"%1\" is not X,Y in twips").arg(position));

    bool okScale = false;
    job.scale = parser.value(d.scale).toDouble(&okScale);
    if (!okScale || !(job.scale >= 1 && job.scale <= 8))
        return badArgument(
            QStringLiteral("scale \"%1\" is not from 1 to 8").arg(parser.value(d.scale)));
    job.transparent = parser.isSet(d.transparent);
    if (parser.isSet(d.fit) && parser.isSet(d.exactSize))
        return badArgument(QStringLiteral("--fit and --exact-size exclude each other"));
    job.fit = !parser.isSet(d.exactSize);
    job.strict = parser.isSet(d.strict);
    job.worn = parser.isSet(d.worn);
    job.output = parser.value(d.output);
    return std::nullopt;
}

std::optional<Failure> readStamp(const QCommandLineParser& parser, const Declared& d,
                                 Options& options)
{
    options.stampFile = parser.value(d.stamp);
    options.stampBatchFile = parser.value(d.stampBatch);
    options.stopOnError = parser.isSet(d.stopOnError);
    options.overwriteInputs = parser.isSet(d.overwriteInputs);
    // A list of documents, or every PDF of a folder: a batch of them.
    const bool documents = !options.stampBatchFile.isEmpty() || QFileInfo(options.stampFile).isDir();
    if (!options.stampBatchFile.isEmpty() && !options.stampFile.isEmpty())
        return badArgument(QStringLiteral("--stamp-batch names its documents in its list: leave out --stamp"));
    if (!documents)
        for (const QCommandLineOption* o : {&d.stopOnError, &d.overwriteInputs})
            if (parser.isSet(*o))
                return badArgument(QStringLiteral("--%1 goes with --stamp-batch or --stamp FOLDER")
                                       .arg(o->names().constFirst()));
    if (options.stampFile.isEmpty() && !documents) {
        for (const QCommandLineOption* o :
             {&d.page, &d.at, &d.width, &d.flatten, &d.acrossPages, &d.breakSignatures,
              &d.signWith, &d.passwordFile, &d.field, &d.reason, &d.location, &d.tsa,
              &d.tsaTimeout, &d.signerLines, &d.ltv, &d.ltvOffline, &d.archiveTimeStamp})
            if (parser.isSet(*o))
                return badArgument(
                    QStringLiteral("--%1 goes with --stamp").arg(o->names().constFirst()));
        return std::nullopt;
    }
    if (options.list || options.sheet || !options.batchFile.isEmpty())
        return badArgument(QStringLiteral("--stamp signs documents, --batch draws pictures: one at a time"));
    if (!documents && !options.job.output.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return badArgument(QStringLiteral("--stamp needs a .pdf output"));
    if (documents && QFileInfo(options.job.output).isFile())
        return badArgument(QStringLiteral("a batch of documents is written into a folder: -o FOLDER"));

    options.stamp.flatten = parser.isSet(d.flatten);
    options.signingIdentity = parser.value(d.signWith);
    options.passwordFile = parser.value(d.passwordFile);
    for (const QCommandLineOption* o :
         {&d.passwordFile, &d.field, &d.reason, &d.location, &d.tsa, &d.tsaTimeout,
          &d.signerLines, &d.ltv, &d.ltvOffline, &d.archiveTimeStamp})
        if (parser.isSet(*o) && options.signingIdentity.isEmpty())
            return badArgument(
                QStringLiteral("--%1 goes with --sign-with").arg(o->names().constFirst()));
    options.timeStampAuthority = parser.value(d.tsa);
    if (parser.isSet(d.tsa)) {
        const QUrl url(options.timeStampAuthority, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
            return badArgument(QStringLiteral("time-stamping authority \"%1\" is not an http or "
                                              "https address")
                                   .arg(options.timeStampAuthority));
    }
    if (parser.isSet(d.tsaTimeout)) {
        bool ok = false;
        options.timeStampTimeout = parser.value(d.tsaTimeout).toInt(&ok);
        if (!parser.isSet(d.tsa))
            return badArgument(QStringLiteral("--tsa-timeout goes with --tsa"));
        if (!ok || options.timeStampTimeout < 1 || options.timeStampTimeout > 600)
            return badArgument(QStringLiteral("timeout \"%1\" is not from 1 to 600 seconds")
                                   .arg(parser.value(d.tsaTimeout)));
    }
    options.stamp.field = parser.value(d.field);
    options.stamp.reason = parser.value(d.reason);
    options.stamp.location = parser.value(d.location);
    options.signerLines = parser.isSet(d.signerLines);
    options.longTerm = parser.isSet(d.ltv) || parser.isSet(d.ltvOffline);
    options.validationFolder = parser.value(d.ltvOffline);
    options.archiveTimeStamp = parser.isSet(d.archiveTimeStamp);
    for (const QCommandLineOption* o : {&d.ltv, &d.ltvOffline, &d.archiveTimeStamp})
        if (parser.isSet(*o) && !parser.isSet(d.tsa))
            return badArgument(QStringLiteral("--%1 needs --tsa: what is kept for later is checked "
                                              "at a trusted time")
                                   .arg(o->names().constFirst()));
    if (!options.validationFolder.isEmpty() && !QFileInfo(options.validationFolder).isDir())
        return badArgument(QStringLiteral("--ltv-offline \"%1\" is not a folder")
                               .arg(options.validationFolder));
    if (options.signerLines && parser.isSet(d.acrossPages))
        return badArgument(QStringLiteral("a seal across pages is cut into slices: --signer-lines "
                                          "would be cut with it"));
    if (!options.signingIdentity.isEmpty() && options.stamp.flatten)
        return badArgument(QStringLiteral("a certificate signature is appended to the document; "
                                          "--flatten would rewrite it"));
    options.stamp.breakSignatures = parser.isSet(d.breakSignatures);
    options.stamp.acrossPages = parser.isSet(d.acrossPages);
    if (options.stamp.acrossPages && parser.isSet(d.field))
        return badArgument(QStringLiteral("a seal across pages is not put into one signature "
                                          "field: --across-pages and --field exclude each other"));
    if (options.stamp.acrossPages && options.job.style != SealStyle &&
        options.job.style != SealStyleIntaglio)
        return badArgument(QStringLiteral("--across-pages cuts a seal across the pages: give "
                                          "--style %1 or %2")
                               .arg(SealStyle, SealStyleIntaglio));
    // A seal across pages goes on every page unless pages are given.
    options.stamp.pages = options.stamp.acrossPages && !parser.isSet(d.page)
                              ? QStringLiteral("all")
                              : parser.value(d.page);
    if (const auto problem = pageListProblem(options.stamp.pages))
        return signingFailure(*problem);
    options.stampAtGiven = parser.isSet(d.at);
    if (!options.stampAtGiven && !documents)
        return badArgument(QStringLiteral("--stamp needs --at X,Y in millimetres"));
    if (options.stampAtGiven) {
        const auto at = placeOf(parser.value(d.at));
        if (!at)
            return badArgument(QStringLiteral("position \"%1\" is not X,Y in millimetres on a page")
                                   .arg(parser.value(d.at)));
        options.stamp.atMm = *at;
    }
    if (parser.isSet(d.width)) {
        const auto mm = widthOf(parser.value(d.width));
        if (!mm)
            return badArgument(QStringLiteral("width \"%1\" is not a width in millimetres")
                                   .arg(parser.value(d.width)));
        options.stamp.widthMm = *mm;
    }
    return std::nullopt;
}

} // namespace

std::variant<Options, Failure> parseOptions(const QStringList& arguments)
{
    const Declared d;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws a signature as the Sorvex签名设计 window does, into a PNG, BMP, JPEG, "
        "SVG or PDF file, or onto a page of a PDF document."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({d.data, d.style, d.cn, d.en, d.size, d.color, d.background, d.pos, d.scale,
                       d.transparent, d.fit, d.exactSize, d.strict, d.worn, d.output, d.batch,
                       d.shard, d.jobs, d.list, d.sheet, d.report, d.stamp, d.page, d.at, d.width,
                       d.flatten, d.acrossPages, d.breakSignatures, d.signWith, d.passwordFile,
                       d.field, d.reason, d.location, d.documentPasswordFile, d.verify, d.trust,
                       d.requireTrusted, d.stampBatch, d.stopOnError, d.overwriteInputs,
                       d.drawn, d.tsa, d.tsaTimeout, d.ltv, d.ltvOffline, d.archiveTimeStamp,
                       d.signerLines, d.layoutJson});
    // How a batch talks to its workers: not for people.
    QCommandLineOption worker = d.batchWorker;
    worker.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(worker);

    Options options;
    if (!parser.parse(arguments))
        return badArgument(parser.errorText());
    if (parser.isSet(help)) {
        options.helpText = parser.helpText();
        return options;
    }
    if (parser.isSet(version)) {
        options.versionText = QCoreApplication::applicationName() + u' ' +
                              QCoreApplication::applicationVersion() + u'\n';
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return badArgument(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (auto failure = readPicture(parser, d, options.job))
        return *failure;
    options.dataDir = parser.value(d.data);
    options.batchFile = parser.value(d.batch);
    // What a batch of pictures or of documents shares: its shards and its workers.
    const bool batch = !options.batchFile.isEmpty() || parser.isSet(d.stampBatch) ||
                       (parser.isSet(d.stamp) && QFileInfo(parser.value(d.stamp)).isDir());
    if (parser.isSet(d.shard)) {
        if (!batch)
            return badArgument(QStringLiteral("--shard goes with --batch or a batch of documents"));
        const QStringList parts = parser.value(d.shard).split(u'/');
        bool okK = false, okN = false;
        if (parts.size() == 2) {
            options.shardIndex = parts[0].trimmed().toInt(&okK);
            options.shardCount = parts[1].trimmed().toInt(&okN);
        }
        if (!okK || !okN || options.shardCount < 1 || options.shardIndex < 1 ||
            options.shardIndex > options.shardCount)
            return badArgument(QStringLiteral("shard \"%1\" is not K/N with 1 <= K <= N")
                                   .arg(parser.value(d.shard)));
    }
    if (parser.isSet(d.jobs)) {
        bool ok = false;
        options.jobs = parser.value(d.jobs).trimmed().toInt(&ok);
        if (!batch)
            return badArgument(QStringLiteral("--jobs goes with --batch or a batch of documents"));
        if (!ok || options.jobs < 1 || options.jobs > 256)
            return badArgument(QStringLiteral("jobs \"%1\" is not a number from 1 to 256")
                                   .arg(parser.value(d.jobs)));
    }
    options.batchWorker = parser.isSet(d.batchWorker);
    options.arguments = arguments;
    options.list = parser.isSet(d.list);
    options.sheet = parser.isSet(d.sheet);
    options.report = parser.isSet(d.report);
    options.layoutJson = parser.isSet(d.layoutJson);
    if (options.layoutJson)
        return options;
    options.verifyFile = parser.value(d.verify);
    options.documentPasswordFile = parser.value(d.documentPasswordFile);
    options.trustFiles = parser.values(d.trust);
    options.requireTrusted = parser.isSet(d.requireTrusted);
    if (options.verifyFile.isEmpty() && (parser.isSet(d.trust) || options.requireTrusted))
        return badArgument(QStringLiteral("--trust and --require-trusted go with --verify"));
    if (!options.verifyFile.isEmpty()) {
        if (parser.isSet(d.stamp) || parser.isSet(d.batch) || options.list || options.sheet)
            return badArgument(QStringLiteral("--verify checks one document and does nothing else"));
        return options;
    }
    if (parser.isSet(d.documentPasswordFile) && !parser.isSet(d.stamp))
        return badArgument(QStringLiteral("--document-password-file goes with --stamp or --verify"));
    if (!options.list && !parser.isSet(d.output))
        return badArgument(QStringLiteral("no output given (-o FILE)"));
    if (auto failure = readStamp(parser, d, options))
        return *failure;
    options.drawnFile = parser.value(d.drawn);
    if (!options.drawnFile.isEmpty()) {
        for (const QCommandLineOption* o : {&d.style, &d.cn, &d.en, &d.size, &d.background,
                                            &d.pos, &d.transparent, &d.worn, &d.batch, &d.sheet,
                                            &d.list, &d.acrossPages})
            if (parser.isSet(*o))
                return badArgument(QStringLiteral("--%1 is for a typed name, not with --drawn")
                                       .arg(o->names().constFirst()));
        const QString suffix = QFileInfo(options.job.output).suffix().toLower();
        if (!QStringList{QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("pdf")}
                 .contains(suffix))
            return badArgument(QStringLiteral("a drawn signature is written as .png, .svg or .pdf"));
    }
    return options;
}

QString kitFolder(const Options& options)
{
    return !options.dataDir.isEmpty() ? options.dataDir
                                      : dataFolderFor(QCoreApplication::applicationDirPath());
}
