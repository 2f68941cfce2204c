#include "flatten.h"

#include "base/regularfile.h"
#include "documentinput.h"
#include "opendocument.h"
#include "pageplacement.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// How a page's content leaves the graphics state stack: the restores it makes of states it
// never saved, and the saves it never restores. Counted as the content streams by, uncompressed
// a piece at a time: the lexing is just enough to tell an operator q or Q from the same letter
// in a string, a name, a comment or an inline image's data.
class BalanceCounter : public Pipeline
{
public:
    BalanceCounter() : Pipeline("graphics state balance", nullptr) {}

    int unmatchedRestores = 0;
    int unmatchedSaves = 0;
    qint64 bytes = 0;
    bool tooLarge = false;

    void write(unsigned char const* data, size_t length) override
    {
        bytes += qint64(length);
        if (bytes > MaxPageContentBytes) {
            tooLarge = true;
            throw std::length_error("the page's content is too large");
        }
        for (size_t i = 0; i < length; ++i)
            take(char(data[i]));
    }
    void finish() override { endToken(); }
    // Between two content streams of one page, as readers join them.
    void separate() { take('\n'); }

private:
    enum class State { Normal, Comment, String, Hex, InlineData };

    static bool isSpace(char c)
    {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
    }
    static bool isDelimiter(char c)
    {
        return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
               c == '}' || c == '/' || c == '%';
    }

    void endToken()
    {
        if (token_ == "q")
            ++unmatchedSaves;
        else if (token_ == "Q" && unmatchedSaves > 0)
            --unmatchedSaves;
        else if (token_ == "Q")
            ++unmatchedRestores;
        else if (token_ == "ID")
            state_ = State::InlineData, inlineStart_ = true, dataEnd_ = 0;
        token_.clear();
    }

    void take(char c)
    {
        switch (state_) {
        case State::Comment:
            if (c == '\n' || c == '\r')
                state_ = State::Normal;
            return;
        case State::String:
            if (escaped_)
                escaped_ = false;
            else if (c == '\\')
                escaped_ = true;
            else if (c == '(')
                ++depth_;
            else if (c == ')' && --depth_ == 0)
                state_ = State::Normal;
            return;
        case State::Hex:
            if (c == '>')
                state_ = State::Normal;
            return;
        case State::InlineData:
            // One white-space character after ID, then data up to "EI" between white space.
            if (inlineStart_) {
                inlineStart_ = false;
                if (isSpace(c))
                    return;
            }
            if (dataEnd_ == 0 && isSpace(c))
                dataEnd_ = 1;
            else if (dataEnd_ == 1 && c == 'E')
                dataEnd_ = 2;
            else if (dataEnd_ == 2 && c == 'I')
                dataEnd_ = 3;
            else if (dataEnd_ == 3 && (isSpace(c) || isDelimiter(c)))
                state_ = State::Normal, dataEnd_ = 0, take(c);
            else
                dataEnd_ = isSpace(c) ? 1 : 0;
            return;
        case State::Normal:
            break;
        }
        if (afterLess_) {
            afterLess_ = false;
            // "<<" opens a dictionary; '<' alone a hex string.
            if (c != '<') {
                state_ = State::Hex;
                take(c);
                return;
            }
            return;
        }
        if (isSpace(c) || isDelimiter(c)) {
            endToken();
            if (state_ == State::InlineData)
                return;
            if (c == '%')
                state_ = State::Comment;
            else if (c == '(')
                state_ = State::String, depth_ = 1;
            else if (c == '<')
                afterLess_ = true;
            else if (c == '/')
                token_ = "/";
            return;
        }
        if (token_.size() < 8)
            token_ += c;
        else
            token_ = "long";
    }

    State state_ = State::Normal;
    std::string token_;
    int depth_ = 0;
    bool escaped_ = false;
    bool afterLess_ = false;
    bool inlineStart_ = false;
    int dataEnd_ = 0; // how much of " EI " has been seen
};

SignError pageError(const OpenDocument& document, SignError::Kind kind, int number)
{
    SignError e = document.error(kind);
    e.page = number;
    return e;
}

// Writes what qpdf hands over into an open file, reading the budget as it goes.
class FileSink : public Pipeline
{
public:
    FileSink(int fd, MemoryBudget& budget) : Pipeline("signed copy", nullptr), fd_(fd), budget_(budget)
    {
    }
    int error = 0;

    void write(unsigned char const* data, size_t length) override
    {
        if (++writes_ % 256 == 0)
            budget_.check();
        while (length > 0 && error == 0) {
            const ssize_t n = ::write(fd_, data, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                throw std::runtime_error("the signed copy cannot be written");
            }
            data += n;
            length -= size_t(n);
        }
    }
    void finish() override {}

private:
    int fd_;
    MemoryBudget& budget_;
    int writes_ = 0;
};

} // namespace

std::optional<SignError> flattenOnto(OpenDocument& document, QPDFPageObjectHelper& page,
                                     QPDFObjectHandle form, const PagePlacement& placement,
                                     int number)
{
    // The page's own content read through first: where it cannot be, where the signature would
    // show cannot be known.
    BalanceCounter balance;
    bool first = true;
    for (QPDFObjectHandle stream : page.getPageContents()) {
        if (!first)
            balance.separate();
        first = false;
        const bool read = stream.isStream() &&
                          stream.pipeStreamData(&balance, nullptr, 0, qpdf_dl_specialized, true);
        if (balance.tooLarge) {
            SignError e = pageError(document, SignError::Kind::ContentTooLarge, number);
            e.number = double(MaxPageContentBytes / (1024 * 1024));
            return e;
        }
        if (!read)
            return pageError(document, SignError::Kind::Damaged, number);
    }
    balance.finish();

    QPDF& qpdf = document.qpdf();
    // This page's resources only: others may share the dictionary.
    QPDFObjectHandle resources = page.getAttribute("/Resources", true);
    if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        page.getObjectHandle().replaceKey("/Resources", resources);
    }
    QPDFObjectHandle xobjects = resources.getKey("/XObject");
    xobjects =
        xobjects.isDictionary() ? xobjects.shallowCopy() : QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    int suffix = 1;
    const std::string formName = resources.getUniqueResourceName("/SorvexSign", suffix);
    xobjects.replaceKey(formName, form);

    // Also where the content restores more states than it saves or saves more than it restores.
    std::string saves = "q\n", restores = "\nQ\n";
    for (int i = 0; i < balance.unmatchedRestores; ++i)
        saves += "q\n";
    for (int i = 0; i < balance.unmatchedSaves; ++i)
        restores += "Q\n";
    const QPDFObjectHandle::Rectangle& slice = placement.slice;
    const std::string clip = QUtil::double_to_string(slice.llx, 6) + ' ' +
                             QUtil::double_to_string(slice.lly, 6) + ' ' +
                             QUtil::double_to_string(slice.urx - slice.llx, 6) + ' ' +
                             QUtil::double_to_string(slice.ury - slice.lly, 6) + " re W n ";
    const std::string draw =
        restores + "q " + placement.matrix + "cm " + clip + formName + " Do Q\n";
    page.addPageContents(QPDFObjectHandle::newStream(&qpdf, saves), true);
    page.addPageContents(QPDFObjectHandle::newStream(&qpdf, draw), false);
    return std::nullopt;
}

std::optional<SignError> RewrittenDocument::write(int fd) const
{
    FileSink sink(fd, document->budget());
    try {
        QPDFWriter writer(document->qpdf());
        writer.setOutputPipeline(&sink);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.write();
    } catch (const std::exception& e) {
        if (sink.error != 0) {
            SignError failed = document->error(SignError::Kind::CannotWrite);
            failed.detail = QString::fromLocal8Bit(std::strerror(sink.error));
            return failed;
        }
        return document->failure(e);
    }
    if (document->overBudget())
        return document->failure(DocumentTooLarge("over budget"));
    if (document->qpdf().anyWarnings())
        return document->error(SignError::Kind::Damaged);
    return std::nullopt;
}

std::optional<SignError> RewrittenDocument::check(int fd) const
{
    struct stat info = {};
    auto written = std::make_shared<OpenedFile>();
    written->fd = ::dup(fd);
    if (written->fd < 0 || ::fstat(written->fd, &info) != 0) {
        SignError failed = document->error(SignError::Kind::ReadBackFailed);
        failed.detail = QStringLiteral("the written copy cannot be read");
        return failed;
    }
    written->size = info.st_size;
    MemoryBudget budget(DocumentMemoryBytes + 2 * written->size);
    try {
        QPDF again;
        again.setSuppressWarnings(true);
        again.setAttemptRecovery(false);
        again.processInputSource(std::make_shared<DocumentInput>(written, QByteArray(),
                                                                 document->name(), &budget),
                                 SecretText(document->password()).orNull());
        const int read = int(QPDFPageDocumentHelper(again).getAllPages().size());
        if (read != pages || again.anyWarnings()) {
            SignError failed = document->error(SignError::Kind::ReadBackFailed);
            failed.detail = QStringLiteral("the written copy reads as %1 page(s), not %2")
                                .arg(read)
                                .arg(pages);
            return failed;
        }
    } catch (const std::exception& e) {
        SignError failed = document->error(SignError::Kind::ReadBackFailed);
        failed.detail = QString::fromLocal8Bit(e.what());
        return failed;
    }
    return std::nullopt;
}
