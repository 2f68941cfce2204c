#include "forgeryrisks.h"

#include "formfields.h"
#include "opendocument.h"
#include "revisions.h"

#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <map>

namespace {

// Where a page's content sets text: the origin of each text-showing operator, in the page's
// space, following the graphics state's matrix and the text matrix as far as a reader would.
class TextOrigins : public QPDFObjectHandle::ParserCallbacks
{
public:
    std::vector<std::pair<double, double>> origins;

    void handleObject(QPDFObjectHandle object) override
    {
        if (!object.isOperator()) {
            operands_.push_back(object);
            if (operands_.size() > 64)
                operands_.erase(operands_.begin());
            return;
        }
        const std::string op = object.getOperatorValue();
        const auto number = [&](size_t i) {
            return i < operands_.size() && operands_[i].isNumber() ? operands_[i].getNumericValue() : 0;
        };
        const auto matrix = [&] {
            return QPDFMatrix(number(0), number(1), number(2), number(3), number(4), number(5));
        };
        if (op == "q") {
            stack_.push_back(ctm_);
        } else if (op == "Q" && !stack_.empty()) {
            ctm_ = stack_.back();
            stack_.pop_back();
        } else if (op == "cm" && operands_.size() >= 6) {
            ctm_.concat(matrix()); // the new matrix applies first
        } else if (op == "BT") {
            tm_ = line_ = QPDFMatrix();
        } else if (op == "Tm" && operands_.size() >= 6) {
            tm_ = line_ = matrix();
        } else if ((op == "Td" || op == "TD") && operands_.size() >= 2) {
            line_.concat(QPDFMatrix(1, 0, 0, 1, number(0), number(1)));
            tm_ = line_;
        } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
            QPDFMatrix at = ctm_;
            at.concat(tm_);
            double x = 0, y = 0;
            at.transform(0, 0, x, y);
            if (origins.size() < 100000)
                origins.emplace_back(x, y);
        }
        operands_.clear();
    }
    void handleEOF() override {}

private:
    std::vector<QPDFObjectHandle> operands_;
    QPDFMatrix ctm_, tm_, line_;
    std::vector<QPDFMatrix> stack_;
};

} // namespace

ForgeryRisks forgeryRisks(OpenDocument& document)
{
    ForgeryRisks risks;
    const RevisionChain chain = readRevisions(*document.file(), document.headerOffset());
    risks.unreadable = chain.fault.has_value();
    for (const Revision& r : chain.revisions)
        risks.definedTwice.insert(r.definedTwice.begin(), r.definedTwice.end());
    if (!risks.unreadable)
        risks.unlisted = unlistedBodies(*document.file(), chain);

    // The fields each page shows, but signatures: a value typed later may cover what was signed.
    QPDF& qpdf = document.qpdf();
    const Form form = readForm(qpdf, document.budget());
    std::map<QPDFObjGen, std::vector<std::pair<QString, QPDFObjectHandle::Rectangle>>> onPage;
    for (const FormField& field : form.fields) {
        if (field.signature)
            continue;
        for (QPDFObjectHandle widget : field.widgets) {
            QPDFObjectHandle page = keyOf(widget, "/P"), rect = keyOf(widget, "/Rect");
            if (page.isIndirect() && rect.isRectangle())
                onPage[page.getObjGen()].emplace_back(field.name, rect.getArrayAsRectangle());
        }
    }
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(qpdf).getAllPages()) {
        const auto fields = onPage.find(page.getObjectHandle().getObjGen());
        if (fields == onPage.end())
            continue;
        TextOrigins text;
        try {
            page.parseContents(&text);
        } catch (const std::exception&) {
            continue;
        }
        for (const auto& named : fields->second) {
            const QString& name = named.first;
            const QPDFObjectHandle::Rectangle r = named.second;
            const bool over = std::any_of(text.origins.begin(), text.origins.end(), [&](const auto& p) {
                return p.first >= std::min(r.llx, r.urx) && p.first <= std::max(r.llx, r.urx) &&
                       p.second >= std::min(r.lly, r.ury) && p.second <= std::max(r.lly, r.ury);
            });
            if (over && !risks.fieldsOverText.contains(name))
                risks.fieldsOverText << name;
        }
    }
    return risks;
}
