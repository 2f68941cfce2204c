#pragma once

#include <QString>
#include <QStringList>

#include <set>

class OpenDocument;

// What a document carries that the attacks on signed documents build on, for a signer to know
// before signing or certifying it: whoever made it may show something else once it is signed.
struct ForgeryRisks
{
    std::set<int> definedTwice; // object numbers a revision defines twice
    std::set<int> unlisted;     // objects with bodies in the file that no revision lists
    QStringList fieldsOverText; // form fields whose widgets lie over the page's own text
    bool unreadable = false;    // its revisions cannot be read as incremental updates

    bool any() const
    {
        return unreadable || !definedTwice.empty() || !unlisted.empty() || !fieldsOverText.isEmpty();
    }
};

// Reads the whole file once, and the content of each page that shows a form field.
ForgeryRisks forgeryRisks(OpenDocument& document);
