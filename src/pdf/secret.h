#pragma once

#include <QByteArray>

#include <openssl/crypto.h>

#include <string>
#include <utility>

// A password, held only as long as it is needed: its bytes are overwritten when it goes, and
// when it is moved from, so that no copy stays in freed memory. Never shared implicitly.
class SecretBytes
{
public:
    SecretBytes() = default;
    // Takes the bytes of `bytes`, which is wiped: the caller keeps no copy.
    explicit SecretBytes(QByteArray&& bytes) : bytes_(std::move(bytes))
    {
        bytes_.detach();
        wipe(bytes);
    }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    SecretBytes(SecretBytes&& other) noexcept : bytes_(std::exchange(other.bytes_, {})) {}
    SecretBytes& operator=(SecretBytes&& other) noexcept
    {
        if (this != &other) {
            clear();
            bytes_ = std::exchange(other.bytes_, {});
        }
        return *this;
    }
    ~SecretBytes() { clear(); }

    const char* data() const { return bytes_.constData(); }
    int size() const { return int(bytes_.size()); }
    bool isEmpty() const { return bytes_.isEmpty(); }
    void clear()
    {
        wipe(bytes_);
        bytes_ = QByteArray();
    }

    // Overwrites what `bytes` holds, where it alone holds it.
    static void wipe(QByteArray& bytes)
    {
        if (!bytes.isEmpty() && !bytes.isDetached())
            bytes = QByteArray();
        else if (!bytes.isEmpty())
            OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    }

private:
    QByteArray bytes_;
};

// A password as the C libraries take it: a NUL-ended copy, wiped when it goes, however it goes
// (qpdf throws on a wrong password).
class SecretText
{
public:
    explicit SecretText(const SecretBytes& secret) : text_(secret.data(), size_t(secret.size())) {}
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { OPENSSL_cleanse(text_.data(), text_.size()); }
    // Null where there is none: what qpdf takes for no password.
    const char* orNull() const { return text_.empty() ? nullptr : text_.c_str(); }
    const char* c_str() const { return text_.c_str(); }

private:
    std::string text_;
};
