#pragma once

#include "job.h"
#include "pdf/stamp.h"

#include <QStringList>

#include <variant>

// What the command line asks for.
struct Options
{
    Job job;           // the picture, or with a batch the settings every row starts from
    QString dataDir;   // empty: the kit beside the program
    QString batchFile; // empty: one picture to job.output
    // With a batch, draw only the K-th of N interleaved parts of its rows (rows K, K+N, ...):
    // N runs, on one machine or many, write exactly the files of the whole batch.
    int shardIndex = 1; // K, from 1
    int shardCount = 1; // N
    // Processes drawing a batch's pictures between them, or threads signing a batch's documents;
    // 0: one process for every two cores, one thread for each core.
    int jobs = 0;
    // Run by another batch as one of its workers: each row of its part answered on stdout,
    // in row order, and its counts at the end, for that batch to put together.
    bool batchWorker = false;
    QStringList arguments; // as given, the program's name first
    bool list = false;
    bool sheet = false; // every style in one picture
    bool report = false;
    QString stampFile; // a PDF to put the signature on, or a folder of them; empty: none
    QString stampBatchFile; // a list of documents to sign; empty: none
    bool stampAtGiven = false; // --at was given: every document's place unless its row says
    bool stopOnError = false;  // a batch of documents stops at its first failure
    bool overwriteInputs = false; // a batch's copy may take its document's place
    bool progressOnTerminal = false; // stderr is a terminal: a batch shows how far it is
    StampPlace stamp;
    QString signingIdentity; // a PKCS#12 file to sign with; empty: a drawn signature only
    QString passwordFile;    // where its password is; empty: asked on the terminal
    QString documentPasswordFile; // where the document's own password is; empty: it has none
    QString timeStampAuthority; // with a certificate, the authority's address; empty: none
    int timeStampTimeout = 30;  // seconds
    bool signerLines = false;   // with a certificate, who signed and when written under it
    bool longTerm = false;      // with a time stamp, what checks the signature later kept
    QString validationFolder;   // where its revocation data is; empty: asked for
    bool archiveTimeStamp = false; // and a document time stamp over all of it
    QString verifyFile;      // a PDF whose signatures to check; empty: none
    QStringList trustFiles;  // PEM certificates its chains may end in, besides the system's
    bool requireTrusted = false; // a chain not ending in one fails the check
    QString drawnFile;       // a signature written on the pad, instead of a typed name
    bool layoutJson = false; // print the placement rules, and the job's layout, as JSON
    QString helpText;    // set when --help was asked for
    QString versionText; // set when --version was asked for
};

std::variant<Options, Failure> parseOptions(const QStringList& arguments);

// The folder holding the kit: the one given, else the one beside the program.
QString kitFolder(const Options& options);
