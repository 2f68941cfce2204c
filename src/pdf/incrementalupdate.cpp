#include "incrementalupdate.h"

#include "base/regularfile.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QUtil.hh>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <cstring>
#include <stdexcept>
#include <cstdio>
#include <optional>

namespace {

// Where the last cross-reference section starts, counted from the header, from the file's last
// "startxref", which the standard puts within its last kilobyte or so.
std::optional<qint64> lastSectionOffset(const OpenedFile& file, qint64 header)
{
    const qint64 from = std::max<qint64>(0, file.size - 4096);
    const QByteArray bytes = file.read(from, file.size - from);
    const qsizetype at = bytes.lastIndexOf("startxref");
    if (at < 0)
        return std::nullopt;
    qsizetype p = at + 9;
    while (p < bytes.size() && std::isspace(uchar(bytes[p])))
        ++p;
    qint64 offset = 0;
    const qsizetype start = p;
    while (p < bytes.size() && std::isdigit(uchar(bytes[p])) && p - start < 15)
        offset = offset * 10 + (bytes[p++] - '0');
    if (p == start || offset >= file.size - header)
        return std::nullopt;
    return offset;
}

bool isTable(const OpenedFile& file, qint64 offset)
{
    return file.read(offset, 64).trimmed().startsWith("xref");
}

// The placeholder of a signature's byte ranges: four numbers, the last three written in once
// the update's length is known, each in as many digits as the largest file may need.
constexpr int ByteRangeDigits = 10;
const std::string ByteRangePlaceholder = "0 " + std::string(ByteRangeDigits, '0') + ' ' +
                                         std::string(ByteRangeDigits, '0') + ' ' +
                                         std::string(ByteRangeDigits, '0');

std::string number(qint64 n)
{
    return std::to_string(n);
}

} // namespace

std::optional<qint64> headerOffset(const OpenedFile& file)
{
    const qsizetype at = file.read(0, 1024).indexOf("%PDF-");
    return at < 0 ? std::nullopt : std::optional<qint64>(at);
}

IncrementalUpdate::IncrementalUpdate(QPDF& document, const OpenedFile& original,
                                     int highestReferenced)
    : document_(document), original_(original), size_(qint64(highestReferenced) + 1),
      headerOffset_(headerOffset(original).value_or(0))
{
    for (const auto& [objgen, entry] : document_.getXRefTable())
        size_ = std::max<qint64>(size_, qint64(objgen.getObj()) + 1);
    QPDFObjectHandle size = document_.getTrailer().getKey("/Size");
    if (size.isInteger())
        size_ = std::max<qint64>(size_, size.getIntValue());
    int r = 0, p = 0, v = 0;
    QPDF::encryption_method_e streams = QPDF::e_none, strings = QPDF::e_none, files = QPDF::e_none;
    if (document_.isEncrypted(r, p, v, streams, strings, files)) {
        const auto usable = [](QPDF::encryption_method_e m) {
            return m == QPDF::e_none || m == QPDF::e_aes || m == QPDF::e_aesv3;
        };
        // RC4 (every encryption before version 4 uses it) is left to the legacy ciphers
        // OpenSSL no longer offers by default.
        if (v < 4 || !usable(streams) || !usable(strings))
            unwritable_ = QStringLiteral("it is encrypted with RC4, an old cipher this program "
                                         "does not write; only AES-encrypted documents can be "
                                         "signed");
        encryption_ = Encryption{document_.getEncryptionKey(), v, r, strings != QPDF::e_none,
                                 streams != QPDF::e_none};
    }
}

// AES in CBC mode with a fresh random first block, as the standard asks of strings and streams.
std::string IncrementalUpdate::encrypted(const std::string& data, QPDFObjGen object,
                                         bool stream) const
{
    if (!encryption_ || !(stream ? encryption_->streams : encryption_->strings))
        return data;
    const std::string key = QPDF::compute_data_key(encryption_->key, object.getObj(),
                                                   object.getGen(), true, encryption_->v,
                                                   encryption_->r);
    unsigned char iv[16];
    if (RAND_bytes(iv, sizeof iv) != 1)
        throw std::runtime_error("no random numbers for the encryption");
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                         EVP_CIPHER_CTX_free);
    const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc();
    std::string out(reinterpret_cast<const char*>(iv), sizeof iv);
    out.resize(sizeof iv + data.size() + 16);
    int written = 0, last = 0;
    auto* to = reinterpret_cast<unsigned char*>(out.data()) + sizeof iv;
    if (!ctx || (key.size() != 16 && key.size() != 32) ||
        EVP_EncryptInit_ex(ctx.get(), cipher, nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), iv) != 1 ||
        EVP_EncryptUpdate(ctx.get(), to, &written,
                          reinterpret_cast<const unsigned char*>(data.data()),
                          int(data.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), to + written, &last) != 1)
        throw std::runtime_error("the document's encryption cannot be applied");
    out.resize(sizeof iv + size_t(written + last));
    return out;
}

void IncrementalUpdate::add(QPDFObjectHandle object)
{
    if (object.isIndirect() && !new_.count(object.getObjectID()) &&
        changed_.insert(object.getObjGen()).second)
        objects_.push_back(object);
}

// The number's object in the document is `standIn` from now on: qpdf drops a key whose value
// is null, which a number it has no object for would be.
QPDFObjectHandle IncrementalUpdate::reserve(QPDFObjectHandle standIn, NewObject object)
{
    // Object numbers are ints to every reader; the caller refuses documents that leave none.
    if (size_ >= std::numeric_limits<int>::max())
        throw std::runtime_error("no object number is left for the update");
    const int n = int(size_++);
    document_.replaceObject(n, 0, standIn);
    QPDFObjectHandle reference = document_.getObject(n, 0);
    new_[n] = object.body.isInitialized() ? std::move(object) : NewObject{reference, std::nullopt};
    return reference;
}

QPDFObjectHandle IncrementalUpdate::put(QPDFObjectHandle body)
{
    return reserve(body, {});
}

QPDFObjectHandle IncrementalUpdate::putStream(QPDFObjectHandle dict, std::string data)
{
    return reserve(dict.shallowCopy(), {dict, std::move(data)});
}

QPDFObjectHandle IncrementalUpdate::putSignatureValue(QPDFObjectHandle dict, qsizetype room)
{
    return reserve(dict, {dict, std::nullopt, room});
}

QPDFObjectHandle IncrementalUpdate::foreign(QPDFObjectHandle object)
{
    std::vector<QPDFObjectHandle> pending{object};
    while (!pending.empty()) {
        QPDFObjectHandle h = pending.back();
        pending.pop_back();
        if (h.isIndirect()) {
            const auto key = std::make_pair(h.getOwningQPDF(), h.getObjGen());
            if (foreign_.count(key))
                continue;
            foreign_[key] = reserve(QPDFObjectHandle::newDictionary(), {h, std::nullopt})
                                .getObjectID();
        }
        QPDFObjectHandle inside = h.isStream() ? h.getDict() : h;
        if (inside.isArray())
            for (QPDFObjectHandle item : inside.aitems())
                pending.push_back(item);
        else if (inside.isDictionary())
            for (auto [key, value] : inside.ditems())
                pending.push_back(value);
    }
    return document_.getObject(foreign_.at({object.getOwningQPDF(), object.getObjGen()}), 0);
}

std::string IncrementalUpdate::reference(QPDFObjectHandle object)
{
    const QPDFObjGen objgen = object.getObjGen();
    if (object.getOwningQPDF() != &document_)
        return number(foreign_.at({object.getOwningQPDF(), objgen})) + " 0 R";
    return number(objgen.getObj()) + ' ' + number(objgen.getGen()) + " R";
}

std::string IncrementalUpdate::serialized(QPDFObjectHandle object, bool whole, QPDFObjGen self)
{
    if (!whole && object.isIndirect())
        return reference(object);
    if (object.isArray()) {
        std::string out = "[";
        for (QPDFObjectHandle item : object.aitems())
            out += serialized(item, false, self) + ' ';
        return out + ']';
    }
    if (object.isDictionary()) {
        std::string out = "<<";
        // A reference is written as it is: asking whether it is null would read its object
        // (qpdf's own walk over keys asks, so the map is walked).
        for (auto [key, value] : object.getDictAsMap())
            if (value.isIndirect() || !value.isNull())
                out += QPDFObjectHandle::newName(key).unparse() + ' ' +
                       serialized(value, false, self) + ' ';
        return out + ">>";
    }
    if (object.isStream()) {
        const std::shared_ptr<Buffer> data = object.getRawStreamData();
        return streamSerialized(object.getDict(),
                                std::string(reinterpret_cast<const char*>(data->getBuffer()),
                                            data->getSize()),
                                self);
    }
    // Object 0 is no object: a trailer, which is never encrypted.
    if (object.isString() && encryption_ && self.getObj() != 0)
        return QPDFObjectHandle::newString(encrypted(object.getStringValue(), self, false))
            .unparseBinary();
    return object.unparseBinary();
}

std::string IncrementalUpdate::streamSerialized(QPDFObjectHandle dict, const std::string& data,
                                                QPDFObjGen self)
{
    const std::string written = encrypted(data, self, true);
    QPDFObjectHandle own = dict.shallowCopy();
    own.replaceKey("/Length", QPDFObjectHandle::newInteger(qint64(written.size())));
    return serialized(own, true, self) + "\nstream\n" + written + "\nendstream";
}

std::variant<IncrementalUpdate::Written, QString> IncrementalUpdate::write()
{
    if (!unwritable_.isEmpty())
        return unwritable_;
    const std::optional<qint64> previous = lastSectionOffset(original_, headerOffset_);
    if (!previous)
        return QStringLiteral("its last cross-reference section cannot be found");
    const bool table = isTable(original_, headerOffset_ + *previous);

    // Offsets count from the header; the update begins on a line of its own.
    const QByteArray last = original_.read(original_.size - 1, 1);
    Written written;
    QByteArray& out = written.bytes;
    out = last == "\n" || last == "\r" ? QByteArray() : QByteArray("\n");
    const qint64 base = original_.size - headerOffset_;
    std::map<int, std::pair<int, qint64>> entries; // number -> generation, offset
    const auto append = [&](int objectNumber, int generation, const std::string& body) {
        entries[objectNumber] = {generation, base + out.size()};
        const std::string whole = number(objectNumber) + ' ' + number(generation) + " obj\n" +
                                  body + "\nendobj\n";
        out.append(whole.data(), qsizetype(whole.size()));
    };
    for (QPDFObjectHandle& object : objects_)
        append(object.getObjectID(), object.getGeneration(),
               serialized(object, true, object.getObjGen()));
    for (const auto& [n, object] : new_) {
        if (object.signatureRoom < 0) {
            append(n, 0, object.data ? streamSerialized(object.body, *object.data, QPDFObjGen(n, 0))
                                     : serialized(object.body, true, QPDFObjGen(n, 0)));
            continue;
        }
        // The signature's value is the one string an encrypted file keeps in the clear: it is
        // written after the file's bytes are known, over them. Its place is noted as written.
        std::string body = serialized(object.body, true, QPDFObjGen(n, 0));
        body.resize(body.size() - 2); // its ">>"
        body += "/ByteRange [";
        const size_t byteRange = body.size();
        body += ByteRangePlaceholder + "] /Contents ";
        const size_t contents = body.size();
        body += '<' + std::string(size_t(object.signatureRoom) * 2, '0') + "> >>";
        const qsizetype at = out.size() + qsizetype(number(n).size() + 7); // after "N 0 obj\n"
        written.slot = SignatureSlot{at + qsizetype(byteRange),
                                     qsizetype(ByteRangePlaceholder.size()),
                                     at + qsizetype(contents),
                                     object.signatureRoom * 2 + 2};
        append(n, 0, body);
    }

    // What the new trailer carries over: the catalogue, the document information and the
    // document's identifier.
    QPDFObjectHandle trailer = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle old = document_.getTrailer();
    for (const char* key : {"/Root", "/Info", "/ID", "/Encrypt"})
        if (old.hasKey(key) && !old.getKey(key).isNull())
            trailer.replaceKey(key, old.getKey(key));
    trailer.replaceKey("/Prev", QPDFObjectHandle::newInteger(*previous));

    // Runs of consecutive object numbers, each a subsection.
    const auto runs = [](const std::map<int, std::pair<int, qint64>>& all) {
        std::vector<std::pair<int, int>> found; // first number, count
        for (const auto& [n, entry] : all) {
            if (!found.empty() && found.back().first + found.back().second == n)
                ++found.back().second;
            else
                found.emplace_back(n, 1);
        }
        return found;
    };
    const qint64 sectionAt = base + out.size();
    std::string section;
    if (table) {
        trailer.replaceKey("/Size", QPDFObjectHandle::newInteger(size_));
        section = "xref\n";
        for (const auto& [first, count] : runs(entries)) {
            section += number(first) + ' ' + number(count) + '\n';
            for (int n = first; n < first + count; ++n) {
                char line[21];
                std::snprintf(line, sizeof line, "%010lld %05d n\r\n",
                              static_cast<long long>(entries[n].second), entries[n].first);
                section += line;
            }
        }
        section += "trailer\n" + serialized(trailer, true, QPDFObjGen()) + '\n';
    } else {
        // A cross-reference stream, itself the update's last object.
        if (size_ >= std::numeric_limits<int>::max())
            return QStringLiteral("no object number is left for the update");
        const int self = int(size_++);
        entries[self] = {0, sectionAt};
        std::string rows;
        QPDFObjectHandle index = QPDFObjectHandle::newArray();
        for (const auto& [first, count] : runs(entries)) {
            index.appendItem(QPDFObjectHandle::newInteger(first));
            index.appendItem(QPDFObjectHandle::newInteger(count));
            for (int n = first; n < first + count; ++n) {
                const qint64 at = entries[n].second;
                const int gen = entries[n].first;
                rows += char(1);
                for (int shift = 24; shift >= 0; shift -= 8)
                    rows += char((at >> shift) & 0xFF);
                rows += char((gen >> 8) & 0xFF);
                rows += char(gen & 0xFF);
            }
        }
        trailer.replaceKey("/Type", QPDFObjectHandle::newName("/XRef"));
        trailer.replaceKey("/Size", QPDFObjectHandle::newInteger(size_));
        trailer.replaceKey("/Index", index);
        trailer.replaceKey("/W", QPDFObjectHandle::parse("[1 4 2]"));
        trailer.replaceKey("/Length", QPDFObjectHandle::newInteger(qint64(rows.size())));
        section = number(self) + " 0 obj\n" + serialized(trailer, true, QPDFObjGen()) + "\nstream\n" + rows +
                  "\nendstream\nendobj\n";
    }
    section += "startxref\n" + number(sectionAt) + "\n%%EOF\n";
    out.append(section.data(), qsizetype(section.size()));
    if (sectionAt > 0xFFFFFFFFLL)
        return QStringLiteral("it is too large for an update to be appended");
    return written;
}

