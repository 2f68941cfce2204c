#include "documentfacts.h"

#include "formfields.h"
#include "opendocument.h"
#include "signingpolicy.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

std::variant<DocumentFacts, SignError> inspectPdf(const QString& path, const SecretBytes* password)
{
    auto opened = OpenDocument::open(path, password);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    OpenDocument& document = *std::get<std::unique_ptr<OpenDocument>>(opened);
    try {
        QPDF& qpdf = document.qpdf();
        DocumentFacts facts;
        facts.pages = int(QPDFPageDocumentHelper(qpdf).getAllPages().size());
        const Form form = readForm(qpdf, document.budget());
        facts.signatures = form.signatures;
        for (const FormField& field : form.fields)
            if (field.signature && !field.isSigned())
                facts.emptySignatureFields << field.name;
        const SigningPolicy policy(qpdf, form, path);
        facts.certified = policy.certified();
        facts.changesAllowed = policy.changesAllowed();
        facts.encrypted = qpdf.isEncrypted();
        using A = SigningPolicy::Addition;
        const auto permitted = [&policy](A addition) {
            const auto refusal = policy.allows(addition);
            return !refusal || refusal->kind != SignError::Kind::NotPermitted;
        };
        facts.mayAnnotate = permitted(A::Annotation);
        facts.mayAddFields = permitted(A::NewField);
        facts.mayFillFields = permitted(A::FilledField);
        facts.mayChangeContent = permitted(A::PageContent);
        facts.risks = forgeryRisks(document);
        if (document.overBudget())
            return document.failure(DocumentTooLarge("over budget"));
        return facts;
    } catch (const std::exception& e) {
        return document.failure(e);
    }
}
