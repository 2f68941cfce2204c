#include "changes.h"

#include "formfields.h"
#include "memorybudget.h"
#include "revisions.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <functional>
#include <map>

namespace {

using K = Change::Kind;
using W = Change::What;

QString nameOf(QPDFObjectHandle name)
{
    return name.isName() ? QString::fromStdString(name.getName()) : QString();
}

// Two versions of one object: the same type and the same content, references compared by number.
bool sameObject(QPDFObjectHandle x, QPDFObjectHandle y)
{
    if (x.getTypeCode() != y.getTypeCode())
        return false;
    if (x.isStream()) {
        if (x.getDict().unparse() != y.getDict().unparse())
            return false;
        const auto a = x.getRawStreamData(), b = y.getRawStreamData();
        return a->getSize() == b->getSize() &&
               std::equal(a->getBuffer(), a->getBuffer() + a->getSize(), b->getBuffer());
    }
    return x.unparseResolved() == y.unparseResolved();
}

// The value as a reader compares it: a reference by its number, anything else by its text.
std::string valueText(QPDFObjectHandle value)
{
    return value.isIndirect() ? value.unparse() : value.isNull() ? std::string() : value.unparse();
}

// The keys whose values differ between two versions of a dictionary.
std::vector<std::string> keysDiffering(QPDFObjectHandle x, QPDFObjectHandle y)
{
    if (x.isStream())
        x = x.getDict();
    if (y.isStream())
        y = y.getDict();
    std::set<std::string> keys;
    if (x.isDictionary())
        for (const std::string& k : x.getKeys())
            keys.insert(k);
    if (y.isDictionary())
        for (const std::string& k : y.getKeys())
            keys.insert(k);
    std::vector<std::string> differing;
    for (const std::string& k : keys)
        if (valueText(keyOf(x, k.c_str())) != valueText(keyOf(y, k.c_str())))
            differing.push_back(k);
    return differing;
}

int numberOf(QPDFObjectHandle object)
{
    return object.isIndirect() ? object.getObjectID() : 0;
}

// Each item of an array, or the one object where it is no array.
std::vector<QPDFObjectHandle> itemsOf(QPDFObjectHandle object)
{
    if (object.isArray())
        return object.getArrayAsVector();
    if (object.isNull())
        return {};
    return {object};
}

// The pages in their order, and the nodes of the tree above them, read without changing the
// document (qpdf's own reading mends what it finds): a page listed twice counts once, a loop or
// a tree deeper than any reader walks ends the walk.
std::vector<QPDFObjectHandle> pagesOf(QPDF& document, MemoryBudget& budget,
                                      std::vector<QPDFObjectHandle>* nodes = nullptr)
{
    std::vector<QPDFObjectHandle> pages;
    std::vector<std::pair<QPDFObjectHandle, int>> pending{{keyOf(document.getRoot(), "/Pages"), 0}};
    std::set<QPDFObjGen> seen;
    size_t looked = 0;
    while (!pending.empty()) {
        if (++looked % 1024 == 0)
            budget.check();
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (!node.isDictionary() || depth > 256 ||
            (node.isIndirect() && !seen.insert(node.getObjGen()).second))
            continue;
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (!kids.isArray()) {
            pages.push_back(node);
            continue;
        }
        if (nodes)
            nodes->push_back(node);
        for (int i = kids.getArrayNItems() - 1; i >= 0; --i)
            pending.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    return pages;
}

struct FieldState
{
    FormField field;
    bool signedNow = false; // this revision signs it (or time-stamps the document in it)
    bool filledNow = false; // this revision gives it another value
};

class Differ
{
public:
    Differ(QPDF& before, QPDF& after, const Revision& revision,
           const std::function<bool(int)>& referredBefore, MemoryBudget& budget)
        : b_(before), a_(after), revision_(revision), referredBefore_(referredBefore),
          budget_(budget)
    {
    }

    std::vector<Change> run()
    {
        findChanged();
        if (changed_.empty() && revision_.definedTwice.empty())
            return {};
        for (const int n : revision_.definedTwice)
            add({K::Other, W::DefinedTwice, 0, {}, {}, n});
        trailer();
        catalog();
        form();
        pages();
        leftovers();
        return out_;
    }

private:
    QPDFObjectHandle before(int n)
    {
        if (beforeGenerations_.empty())
            for (const auto& [objgen, entry] : b_.getXRefTable())
                beforeGenerations_[objgen.getObj()] = objgen.getGen();
        const auto it = beforeGenerations_.find(n);
        return it == beforeGenerations_.end() ? QPDFObjectHandle::newNull()
                                               : b_.getObject(n, it->second);
    }
    QPDFObjectHandle after(int n, int generation) { return a_.getObject(n, generation); }

    void add(const Change& change)
    {
        if (std::find(out_.begin(), out_.end(), change) == out_.end())
            out_.push_back(change);
    }
    bool changed(int n) const { return changed_.count(n) != 0; }
    bool fresh(int n) const { return fresh_.count(n) != 0; }

    // The objects the revision's entries define differently from the revision before, those it
    // frees, and those an object stream it rewrites now gives otherwise.
    void findChanged()
    {
        std::vector<std::pair<int, int>> candidates;
        for (const XrefEntry& e : revision_.entries)
            candidates.emplace_back(e.number,
                                    e.type == XrefEntry::Type::InFile ? e.generation : 0);
        std::set<int> streams;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (i % 1024 == 0)
                budget_.check();
            const auto [n, generation] = candidates[i];
            QPDFObjectHandle old = before(n), now;
            bool unreadable = false;
            try {
                now = after(n, generation);
            } catch (const std::exception&) {
                unreadable = true;
            }
            if (unreadable) {
                changed_.insert(n);
                continue;
            }
            if (old.isNull() && now.isNull())
                continue;
            if (old.isNull())
                fresh_.insert(n);
            if ((old.isStream() && old.getDict().getKey("/Type").isNameAndEquals("/ObjStm")) ||
                (now.isStream() && now.getDict().getKey("/Type").isNameAndEquals("/ObjStm")))
                streams.insert(n);
            if (old.isNull() || now.isNull() || !sameObject(old, now))
                changed_.insert(n);
        }
        if (streams.empty())
            return;
        // An object stream rewritten: whatever the document reads from it is compared too.
        for (const auto& [objgen, entry] : a_.getXRefTable()) {
            if (entry.getType() != 2 || !streams.count(entry.getObjStreamNumber()))
                continue;
            QPDFObjectHandle old = before(objgen.getObj()), now = a_.getObject(objgen);
            if (old.isNull())
                fresh_.insert(objgen.getObj());
            if (old.isNull() || !sameObject(old, now))
                changed_.insert(objgen.getObj());
        }
        for (const int n : streams)
            claimed_.insert(n);
    }

    // `object` claimed for the rule that knows it, and every new object it leads to.
    void claimWith(QPDFObjectHandle object)
    {
        if (object.isIndirect())
            claimed_.insert(object.getObjectID());
        claimChildren(object);
    }
    void claimNew(QPDFObjectHandle object)
    {
        if (object.isIndirect()) {
            const int n = object.getObjectID();
            if (!fresh(n) || !claimed_.insert(n).second)
                return;
        }
        claimChildren(object);
    }
    void claimChildren(QPDFObjectHandle object)
    {
        if (object.isStream())
            object = object.getDict();
        if (object.isArray())
            for (QPDFObjectHandle item : object.aitems())
                claimNew(item);
        else if (object.isDictionary())
            for (auto& [key, value] : object.ditems())
                if (key != "/Parent" && key != "/P")
                    claimNew(value);
    }
    // An object the rule that knows `now` may claim: new, or what `was` was.
    bool claimRole(QPDFObjectHandle now, QPDFObjectHandle was)
    {
        if (!now.isIndirect()) {
            claimChildren(now);
            return true;
        }
        const int n = now.getObjectID();
        if (fresh(n) || (was.isIndirect() && was.getObjectID() == n)) {
            claimWith(now);
            return true;
        }
        return false;
    }

    void trailer()
    {
        QPDFObjectHandle tb = b_.getTrailer(), ta = a_.getTrailer();
        for (const std::string& key : keysDiffering(tb, ta)) {
            if (key == "/Info") {
                add({K::ValidationData, W::Metadata});
                claimRole(ta.getKey("/Info"), tb.getKey("/Info"));
            } else if (key == "/Root" || key == "/Encrypt") {
                add({K::Other, W::Trailer, 0, QString::fromStdString(key)});
            }
        }
        // The information dictionary rewritten under its own number.
        QPDFObjectHandle info = ta.getKey("/Info");
        if (info.isIndirect() && changed(info.getObjectID()) &&
            numberOf(tb.getKey("/Info")) == info.getObjectID()) {
            add({K::ValidationData, W::Metadata});
            claimWith(info);
        }
    }

    void catalog()
    {
        QPDFObjectHandle rb = b_.getRoot(), ra = a_.getRoot();
        const bool rootChanged = changed(numberOf(ra)) || numberOf(ra) != numberOf(rb);
        if (rootChanged) {
            for (const std::string& key : keysDiffering(rb, ra)) {
                const QString k = QString::fromStdString(key);
                QPDFObjectHandle now = ra.getKey(key), was = rb.getKey(key);
                if (key == "/AcroForm") {
                    continue; // the form's own rule
                } else if (key == "/DSS") {
                    add({K::ValidationData, W::ValidationData});
                } else if (key == "/Metadata" || key == "/Extensions") {
                    add({K::ValidationData, W::Metadata});
                    claimRole(now, was);
                } else if (key == "/Pages") {
                    add({K::Other, W::PageTree});
                } else if (key == "/OCProperties") {
                    add({K::Other, W::OptionalContent});
                } else if (key == "/OpenAction" || key == "/AA") {
                    add({K::Other, W::OpenAction, 0, k});
                } else {
                    add({K::Other, W::Catalog, 0, k});
                }
            }
            if (numberOf(ra) == numberOf(rb) || fresh(numberOf(ra)))
                claimed_.insert(numberOf(ra));
        }
        // The store of validation data, its lists and answers, new or written again.
        QPDFObjectHandle da = keyOf(ra, "/DSS"), db = keyOf(rb, "/DSS");
        if (da.isDictionary() && (changed(numberOf(da)) || rootChanged) && claimRole(da, db)) {
            bool any = !sameObject(da, db);
            for (const char* list : {"/Certs", "/OCSPs", "/CRLs", "/VRI"})
                claimRole(da.getKey(list), keyOf(db, list));
            QPDFObjectHandle vri = da.getKey("/VRI"), vriBefore = keyOf(db, "/VRI");
            if (vri.isDictionary())
                for (auto& [key, entry] : vri.ditems())
                    if (claimRole(entry, keyOf(vriBefore, key.c_str())) && entry.isDictionary())
                        for (auto& [item, value] : entry.ditems())
                            claimRole(value, keyOf(keyOf(vriBefore, key.c_str()), item.c_str()));
            if (any)
                add({K::ValidationData, W::ValidationData});
        }
        QPDFObjectHandle metadata = keyOf(ra, "/Metadata");
        if (metadata.isIndirect() && changed(metadata.getObjectID()) &&
            numberOf(keyOf(rb, "/Metadata")) == metadata.getObjectID()) {
            add({K::ValidationData, W::Metadata});
            claimWith(metadata);
        }
    }

    static bool isTimeStamp(QPDFObjectHandle value)
    {
        return value.getKey("/Type").isNameAndEquals("/DocTimeStamp") ||
               value.getKey("/SubFilter").isNameAndEquals("/ETSI.RFC3161");
    }
    static bool isSignature(QPDFObjectHandle value)
    {
        return value.isDictionary() && value.hasKey("/ByteRange") && value.hasKey("/Contents");
    }

    // A signature that this revision puts into a field: new, in a field new or empty before.
    void signatureAdded(const FieldState& field)
    {
        QPDFObjectHandle value = keyOf(field.field.field, "/V");
        if (value.isIndirect() && !fresh(value.getObjectID()))
            add({K::Other, W::SignatureReplaced, 0, field.field.name});
        else if (isTimeStamp(value))
            add({K::ValidationData, W::DocumentTimeStamp, 0, field.field.name});
        else
            add({K::Signing, W::SignatureAdded, 0, field.field.name});
        claimNew(value);
    }

    void form()
    {
        QPDFObjectHandle fa = keyOf(a_.getRoot(), "/AcroForm");
        QPDFObjectHandle fb = keyOf(b_.getRoot(), "/AcroForm");
        if (fa.isDictionary() && (!fa.isIndirect() || changed(numberOf(fa)))) {
            for (const std::string& key : keysDiffering(fb, fa)) {
                QPDFObjectHandle now = fa.getKey(key), was = keyOf(fb, key.c_str());
                if (key == "/Fields" || key == "/SigFlags") {
                    claimRole(now, was);
                } else if (key == "/DR" || key == "/DA" || key == "/NeedAppearances" ||
                           key == "/Q") {
                    add({K::FormFilling, W::FormDefaults});
                    claimRole(now, was);
                } else {
                    add({K::Other, W::Catalog, 0, QStringLiteral("/AcroForm ") +
                                                         QString::fromStdString(key)});
                }
            }
            claimRole(fa, fb);
        }
        QPDFObjectHandle fields = keyOf(fa, "/Fields");
        if (fields.isIndirect() && changed(fields.getObjectID()))
            claimRole(fields, keyOf(fb, "/Fields"));

        const Form was = readForm(b_, budget_), now = readForm(a_, budget_);
        std::map<int, const FormField*> earlier;
        for (const FormField& f : was.fields)
            earlier[numberOf(f.field)] = &f;
        std::set<int> present;
        for (const FormField& f : now.fields) {
            const int n = numberOf(f.field);
            present.insert(n);
            FieldState state{f};
            const auto old = earlier.find(n);
            if (old == earlier.end()) {
                newField(state);
            } else {
                existingField(state, *old->second);
            }
            states_.push_back(state);
        }
        for (const FormField& f : was.fields)
            if (!present.count(numberOf(f.field)))
                add({K::Other, f.isSigned() ? W::SignatureRemoved : W::FieldRemoved, 0, f.name});
    }

    void newField(FieldState& state)
    {
        const FormField& f = state.field;
        const int page = pageOfWidget(f.widgets.empty() ? QPDFObjectHandle() : f.widgets[0]);
        if (!fresh(numberOf(f.field)) && changed(numberOf(f.field))) {
            add({K::Other, W::FieldAdded, page, f.name});
            return;
        }
        if (f.signature && f.isSigned()) {
            state.signedNow = true;
            signatureAdded(state);
        } else if (f.signature) {
            add({K::Annotation, W::EmptySignatureField, page, f.name});
        } else {
            add({K::Other, W::FieldAdded, page, f.name});
        }
        claimNew(f.field);
        for (QPDFObjectHandle w : f.widgets)
            claimNew(w);
    }

    void existingField(FieldState& state, const FormField& old)
    {
        const FormField& f = state.field;
        // The signature dictionary of a signed field written again, under its own number.
        QPDFObjectHandle value = keyOf(f.field, "/V");
        if (old.isSigned() && value.isIndirect() &&
            numberOf(keyOf(old.field, "/V")) == value.getObjectID() &&
            changed(value.getObjectID())) {
            add({K::Other, W::SignatureRedefined, 0, f.name});
            claimed_.insert(value.getObjectID());
        }
        std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> dicts{{f.field, old.field}};
        for (QPDFObjectHandle w : f.widgets)
            if (numberOf(w) != numberOf(f.field))
                for (QPDFObjectHandle ow : old.widgets)
                    if (numberOf(ow) == numberOf(w))
                        dicts.emplace_back(w, ow);
        const auto differing = [&](size_t i) {
            return changed(numberOf(dicts[i].first)) ? keysDiffering(dicts[i].second, dicts[i].first)
                                                     : std::vector<std::string>();
        };
        const auto valueKeys = differing(0);
        if (std::find(valueKeys.begin(), valueKeys.end(), "/V") != valueKeys.end()) {
            if (f.signature && !old.isSigned() && f.isSigned()) {
                state.signedNow = true;
                signatureAdded(state);
            } else if (f.signature) {
                add({K::Other, f.isSigned() ? W::SignatureReplaced : W::SignatureRemoved, 0,
                     f.name});
            } else {
                state.filledNow = true;
                add({K::FormFilling, W::FieldFilled, 0, f.name});
                claimNew(value);
            }
        }
        const Change::Kind appearance = state.signedNow   ? K::Signing
                                        : f.signature     ? K::Other
                                                          : K::FormFilling;
        for (size_t i = 0; i < dicts.size(); ++i) {
            const auto keys = i == 0 ? valueKeys : differing(i);
            for (const std::string& key : keys) {
                QPDFObjectHandle now = dicts[i].first.getKey(key);
                QPDFObjectHandle was = keyOf(dicts[i].second, key.c_str());
                if (key == "/V") {
                    continue;
                } else if (key == "/AP" || key == "/AS" || key == "/DV") {
                    if (appearance == K::FormFilling) {
                        state.filledNow = true;
                        add({K::FormFilling, W::FieldFilled, 0, f.name});
                    } else if (appearance == K::Other) {
                        add({K::Other, W::FieldChanged, 0, f.name, QString::fromStdString(key)});
                    }
                    claimAppearance(now, was);
                } else {
                    add({K::Other, W::FieldChanged, 0, f.name, QString::fromStdString(key)});
                }
            }
            if (changed(numberOf(dicts[i].first)))
                claimed_.insert(numberOf(dicts[i].first));
        }
        // Appearance streams rewritten under their own numbers, for a field filled or signed now.
        if (state.signedNow || state.filledNow)
            for (auto& [now, was] : dicts)
                claimAppearance(keyOf(now, "/AP"), keyOf(was, "/AP"));
    }

    // An appearance dictionary and its streams: new ones, and those it had before written again.
    void claimAppearance(QPDFObjectHandle now, QPDFObjectHandle was)
    {
        if (!claimRole(now, was))
            return;
        for (const char* which : {"/N", "/R", "/D"}) {
            QPDFObjectHandle state = keyOf(now, which), old = keyOf(was, which);
            if (!claimRole(state, old) || !state.isDictionary() || state.isStream())
                continue;
            for (auto& [name, stream] : state.ditems())
                claimRole(stream, keyOf(old, name.c_str()));
        }
    }

    int pageOfWidget(QPDFObjectHandle widget)
    {
        const auto& pages = pagesAfter();
        QPDFObjectHandle p = keyOf(widget, "/P");
        for (size_t i = 0; i < pages.size(); ++i)
            if (p.isIndirect() && numberOf(pages[i]) == p.getObjectID())
                return int(i + 1);
        for (size_t i = 0; i < pages.size(); ++i)
            for (QPDFObjectHandle a : itemsOf(keyOf(pages[i], "/Annots")))
                if (numberOf(a) != 0 && numberOf(a) == numberOf(widget))
                    return int(i + 1);
        return 0;
    }

    const std::vector<QPDFObjectHandle>& pagesAfter()
    {
        if (!pagesAfterRead_) {
            pagesAfter_ = pagesOf(a_, budget_);
            pagesAfterRead_ = true;
        }
        return pagesAfter_;
    }

    // The field a widget shows, as the form reads in this revision.
    const FieldState* fieldOfWidget(int widget) const
    {
        for (const FieldState& s : states_)
            for (QPDFObjectHandle w : s.field.widgets)
                if (numberOf(w) == widget)
                    return &s;
        return nullptr;
    }

    void pages()
    {
        std::vector<QPDFObjectHandle> nodesBefore, nodesAfter;
        const std::vector<QPDFObjectHandle> was = pagesOf(b_, budget_, &nodesBefore);
        const std::vector<QPDFObjectHandle>& now = pagesAfter();
        pagesOf(a_, budget_, &nodesAfter);
        std::map<int, int> oldPage;
        for (size_t i = 0; i < was.size(); ++i)
            oldPage[numberOf(was[i])] = int(i + 1);
        std::set<int> kept;
        for (size_t i = 0; i < now.size(); ++i) {
            const int n = numberOf(now[i]);
            if (!oldPage.count(n)) {
                add({K::Other, W::PageAdded, int(i + 1)});
                claimNew(now[i]);
                continue;
            }
            kept.insert(n);
            if (oldPage[n] != int(i + 1))
                add({K::Other, W::PageTree});
            page(now[i], was[size_t(oldPage[n] - 1)], int(i + 1));
        }
        for (size_t i = 0; i < was.size(); ++i)
            if (!kept.count(numberOf(was[i])))
                add({K::Other, W::PageRemoved, int(i + 1)});
        // The nodes above the pages: what they pass down to their pages.
        for (QPDFObjectHandle node : nodesAfter) {
            const int n = numberOf(node);
            if (!changed(n) || claimed_.count(n))
                continue;
            QPDFObjectHandle old = before(n);
            for (const std::string& key : keysDiffering(old, node))
                if (key != "/Kids" && key != "/Count")
                    add({K::Other, W::PageProperties, 0, {}, QString::fromStdString(key)});
            if (was.size() != now.size())
                add({K::Other, W::PageTree});
            claimed_.insert(n);
        }
    }

    void page(QPDFObjectHandle now, QPDFObjectHandle was, int number)
    {
        const int n = numberOf(now);
        QPDFObjectHandle annotsNow = now.getKey("/Annots"), annotsWas = keyOf(was, "/Annots");
        bool annotsChanged = changed(numberOf(annotsNow));
        if (changed(n)) {
            for (const std::string& key : keysDiffering(was, now)) {
                if (key == "/Annots")
                    annotsChanged = true;
                else if (key == "/Contents")
                    add({K::Other, W::PageContent, number});
                else if (key == "/Resources")
                    add({K::Other, W::PageResources, number});
                else
                    add({K::Other, W::PageProperties, number, {}, QString::fromStdString(key)});
            }
            claimed_.insert(n);
        }
        if (!annotsChanged)
            return;
        claimRole(annotsNow, annotsWas);
        std::set<int> before;
        for (QPDFObjectHandle a : itemsOf(annotsWas))
            before.insert(numberOf(a));
        std::set<int> after;
        for (QPDFObjectHandle a : itemsOf(annotsNow)) {
            const int an = numberOf(a);
            after.insert(an);
            if (an != 0 && before.count(an))
                continue;
            const QString subtype = nameOf(keyOf(a, "/Subtype"));
            if (subtype == QLatin1String("/Widget")) {
                const FieldState* field = fieldOfWidget(an);
                if (!field) // a widget no field holds shows as an annotation does
                    add({K::Annotation, W::AnnotationAdded, number, subtype});
                else if (!fresh(numberOf(field->field.field)) && !field->signedNow)
                    add({K::Other, W::FieldChanged, number, field->field.name});
                claimNew(a);
                continue;
            }
            // An object that was something else before is judged by what it was.
            add({K::Annotation, W::AnnotationAdded, number, subtype});
            claimNew(a);
        }
        for (QPDFObjectHandle a : itemsOf(annotsWas)) {
            const int an = numberOf(a);
            if (an != 0 && after.count(an))
                continue;
            const QString subtype = nameOf(keyOf(a, "/Subtype"));
            if (subtype == QLatin1String("/Widget"))
                add({K::Other, W::FieldChanged, number, {}, QStringLiteral("/Annots")});
            else
                add({K::Annotation, W::AnnotationRemoved, number, subtype});
        }
    }

    // Where an object the rules do not know was used in the revision before, for the words.
    struct Use
    {
        W what;
        int page;
        QString name;
        K kind;
        int annotation = 0; // the annotation whose appearance it is
    };
    std::map<int, Use> usesBefore()
    {
        std::map<int, Use> uses;
        const auto note = [&](QPDFObjectHandle o, const Use& use) {
            if (o.isIndirect())
                uses.emplace(o.getObjectID(), use);
        };
        const std::vector<QPDFObjectHandle> pages = pagesOf(b_, budget_);
        for (size_t i = 0; i < pages.size(); ++i) {
            const int page = int(i + 1);
            for (QPDFObjectHandle c : itemsOf(keyOf(pages[i], "/Contents")))
                note(c, {W::PageContent, page, {}, K::Other});
            std::vector<QPDFObjectHandle> resources{keyOf(pages[i], "/Resources")};
            for (size_t r = 0; r < resources.size() && r < 64; ++r) {
                note(resources[r], {W::PageResources, page, {}, K::Other});
                if (!resources[r].isDictionary())
                    continue;
                for (auto& [kind, entries] : resources[r].ditems()) {
                    note(entries, {W::PageResources, page, QString::fromStdString(kind), K::Other});
                    if (!entries.isDictionary())
                        continue;
                    for (auto& [name, entry] : entries.ditems()) {
                        note(entry, {W::PageResources, page, QString::fromStdString(kind), K::Other});
                        // A form's own resources are the page's too.
                        if (kind == "/XObject" && entry.isStream())
                            resources.push_back(entry.getDict().getKey("/Resources"));
                    }
                }
            }
            for (QPDFObjectHandle a : itemsOf(keyOf(pages[i], "/Annots"))) {
                const QString subtype = nameOf(keyOf(a, "/Subtype"));
                const K kind = subtype == QLatin1String("/Widget") ? K::Other : K::Annotation;
                const Use use{W::AnnotationChanged, page, subtype, kind, numberOf(a)};
                note(a, use);
                QPDFObjectHandle ap = keyOf(a, "/AP");
                note(ap, use);
                for (const char* which : {"/N", "/R", "/D"}) {
                    QPDFObjectHandle state = keyOf(ap, which);
                    note(state, use);
                    if (state.isDictionary() && !state.isStream())
                        for (auto& [name, stream] : state.ditems())
                            note(stream, use);
                }
            }
        }
        QPDFObjectHandle root = b_.getRoot();
        QPDFObjectHandle oc = keyOf(root, "/OCProperties");
        note(oc, {W::OptionalContent, 0, {}, K::Other});
        for (const char* key : {"/OCGs", "/D"})
            note(keyOf(oc, key), {W::OptionalContent, 0, {}, K::Other});
        for (QPDFObjectHandle group : itemsOf(keyOf(oc, "/OCGs")))
            note(group, {W::OptionalContent, 0, {}, K::Other});
        QPDFObjectHandle d = keyOf(oc, "/D");
        for (const char* key : {"/ON", "/OFF", "/Order"})
            note(keyOf(d, key), {W::OptionalContent, 0, {}, K::Other});
        for (const char* key : {"/OpenAction", "/AA"})
            note(keyOf(root, key), {W::OpenAction, 0, QString::fromLatin1(key), K::Other});
        note(keyOf(root, "/Names"), {W::Catalog, 0, QStringLiteral("/Names"), K::Other});
        note(keyOf(root, "/Pages"), {W::PageTree, 0, {}, K::Other});
        return uses;
    }

    void leftovers()
    {
        // New objects that fill a number the revision before referred to without defining it.
        for (const int n : fresh_)
            if (referredBefore_(n))
                add({K::Other, W::DanglingFilled, 0, {}, {}, n});
        std::vector<int> unknown;
        for (const int n : changed_)
            if (!claimed_.count(n) && !fresh(n))
                unknown.push_back(n);
        if (unknown.empty())
            return;
        const std::map<int, Use> uses = usesBefore();
        for (const int n : unknown) {
            const auto use = uses.find(n);
            const bool freed = revision_.entry(n) &&
                               revision_.entry(n)->type == XrefEntry::Type::Free;
            if (use == uses.end()) {
                add({K::Other, freed ? W::ObjectFreed : W::ObjectChanged, 0, {}, {}, n});
                continue;
            }
            const Use& u = use->second;
            // An annotation's own appearance, rewritten, is a change of that annotation.
            K kind = u.kind;
            if (u.what == W::AnnotationChanged && kind == K::Other) {
                const FieldState* field = fieldOfWidget(u.annotation);
                if (field && field->filledNow)
                    kind = K::FormFilling;
                else if (field && field->signedNow)
                    kind = K::Signing;
                add({kind, kind == K::Other ? W::FieldChanged : W::FieldFilled, u.page,
                     field ? field->field.name : QString(), QStringLiteral("/AP")});
                continue;
            }
            add({kind, u.what, u.page, u.name});
        }
    }

    QPDF& b_;
    QPDF& a_;
    const Revision& revision_;
    const std::function<bool(int)>& referredBefore_;
    MemoryBudget& budget_;
    std::map<int, int> beforeGenerations_;
    std::set<int> changed_, fresh_, claimed_;
    std::vector<FieldState> states_;
    std::vector<QPDFObjectHandle> pagesAfter_;
    bool pagesAfterRead_ = false;
    std::vector<Change> out_;
};

// Every reference an object holds in itself, not followed.
void referencesIn(QPDFObjectHandle object, const std::function<void(QPDFObjectHandle)>& found)
{
    std::vector<QPDFObjectHandle> pending{object.isStream() ? object.getDict() : object};
    while (!pending.empty()) {
        QPDFObjectHandle o = pending.back();
        pending.pop_back();
        const auto look = [&](QPDFObjectHandle item) {
            if (item.isIndirect())
                found(item);
            else if (item.isArray() || item.isDictionary())
                pending.push_back(item);
        };
        if (o.isArray())
            for (QPDFObjectHandle item : o.aitems())
                look(item);
        else if (o.isDictionary())
            for (auto& [key, value] : o.ditems())
                look(value);
    }
}

} // namespace

std::vector<Change> changesOf(QPDF& before, QPDF& after, const Revision& revision,
                              const std::function<bool(int)>& referredBefore, MemoryBudget& budget)
{
    return Differ(before, after, revision, referredBefore, budget).run();
}

std::map<int, std::vector<int>> referrersOf(QPDF& document, MemoryBudget& budget)
{
    std::map<int, std::vector<int>> referrers;
    std::set<int> seen;
    std::vector<std::pair<QPDFObjectHandle, int>> follow;
    const auto from = [&](QPDFObjectHandle holder, int number) {
        referencesIn(holder, [&](QPDFObjectHandle item) {
            const int n = item.getObjectID();
            referrers[n].push_back(number);
            if (seen.insert(n).second)
                follow.emplace_back(item, n);
        });
    };
    from(document.getTrailer(), 0);
    size_t looked = 0;
    while (!follow.empty()) {
        if (++looked % 1024 == 0)
            budget.check();
        auto [object, number] = follow.back();
        follow.pop_back();
        // A reference the document does not resolve leads nowhere.
        if (!object.isNull())
            from(object, number);
    }
    return referrers;
}

bool refersTo(QPDFObjectHandle object, int number)
{
    bool found = false;
    referencesIn(object, [&](QPDFObjectHandle item) { found = found || item.getObjectID() == number; });
    return found;
}
