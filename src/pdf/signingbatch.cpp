#include "signingbatch.h"

#include "output/filewrite.h"

#include <QFileInfo>

#include <thread>

namespace {

BatchOutcome signOne(const BatchDocument& document, const SigningJob& base)
{
    BatchOutcome outcome;
    SigningJob job = base;
    job.document = document.input;
    job.place = document.place;
    job.place.signer = base.place.signer;
    job.place.timeStamp = base.place.timeStamp;
    job.place.documentPassword = base.place.documentPassword;
    auto made = sign(job);
    if (auto* why = std::get_if<SignError>(&made)) {
        outcome.error = *why;
        return outcome;
    }
    const SignedCopy& copy = std::get<SignedCopy>(made);
    if (const auto folder = makeFolders(QFileInfo(document.output).path())) {
        outcome.error = SignError{SignError::Kind::CannotWrite, document.output};
        outcome.error->detail = *folder;
        return outcome;
    }
    if ((outcome.error = copy.writeTo(document.output)))
        return outcome;
    for (const SignedPage& page : copy.signedPages)
        outcome.pages.push_back(page.page);
    outcome.field = copy.field;
    outcome.level = job.level();
    return outcome;
}

} // namespace

void signEach(const std::vector<BatchDocument>& documents, const SigningJob& base, int workers,
              const std::function<void(size_t, const BatchOutcome&)>& done, std::atomic<bool>* stop)
{
    std::atomic<size_t> next = 0;
    const size_t threads = std::clamp<size_t>(size_t(std::max(workers, 1)), 1,
                                              std::max<size_t>(documents.size(), 1));
    std::vector<std::thread> running;
    for (size_t w = 0; w < threads; ++w)
        running.emplace_back([&] {
            for (size_t i = next++; i < documents.size() && !(stop && *stop); i = next++)
                done(i, signOne(documents[i], base));
        });
    for (std::thread& t : running)
        t.join();
}
