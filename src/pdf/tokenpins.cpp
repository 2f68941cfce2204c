#include "tokenpins.h"

#include <p11-kit/pkcs11.h>

#include <openssl/ui.h>

#include <dlfcn.h>

#include <cstring>

namespace {

int readPin(UI* ui, UI_STRING* asked)
{
    auto* source = static_cast<PinSource*>(UI_get0_user_data(ui));
    if (UI_get_string_type(asked) != UIT_PROMPT && UI_get_string_type(asked) != UIT_VERIFY)
        return 1;
    if (!source)
        return 0;
    const std::lock_guard<std::mutex> one(source->lock);
    if (!source->ask)
        return 0;
    const std::optional<SecretBytes> pin = source->ask();
    if (!pin)
        return 0;
    const SecretText text(*pin);
    return UI_set_result(ui, asked, text.c_str()) == 0 ? 1 : 0;
}

// Blank-padded PKCS#11 text, as a label compares.
QByteArray trimmed(const CK_UTF8CHAR* text, size_t length)
{
    return QByteArray(reinterpret_cast<const char*>(text), qsizetype(length)).trimmed();
}

} // namespace

UI_METHOD* pinMethod()
{
    static UI_METHOD* method = [] {
        UI_METHOD* m = UI_create_method("Sorvex PIN");
        UI_method_set_reader(m, readPin);
        return m;
    }();
    return method;
}

bool asksEachTime(const QByteArray& module, const QByteArray& token, const QByteArray& serial,
                  const QByteArray& keyId)
{
    // The module libp11 loaded, loaded once more: the same library, already initialised.
    void* library = ::dlopen(module.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    bool asks = false;
    auto getList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library, "C_GetFunctionList"));
    CK_FUNCTION_LIST_PTR f = nullptr;
    CK_ULONG count = 0;
    if (getList && getList(&f) == CKR_OK && f &&
        f->C_GetSlotList(CK_TRUE, nullptr, &count) == CKR_OK && count > 0 && count < 1024) {
        std::vector<CK_SLOT_ID> slots(count);
        if (f->C_GetSlotList(CK_TRUE, slots.data(), &count) == CKR_OK)
            for (CK_ULONG s = 0; s < count && !asks; ++s) {
                CK_TOKEN_INFO info;
                if (f->C_GetTokenInfo(slots[s], &info) != CKR_OK ||
                    trimmed(info.label, sizeof info.label) != token ||
                    trimmed(info.serialNumber, sizeof info.serialNumber) != serial)
                    continue;
                CK_SESSION_HANDLE session = 0;
                if (f->C_OpenSession(slots[s], CKF_SERIAL_SESSION, nullptr, nullptr, &session) != CKR_OK)
                    continue;
                CK_OBJECT_CLASS kind = CKO_PRIVATE_KEY;
                QByteArray id = keyId;
                CK_ATTRIBUTE wanted[] = {{CKA_CLASS, &kind, sizeof kind},
                                         {CKA_ID, id.data(), CK_ULONG(id.size())}};
                CK_OBJECT_HANDLE key = 0;
                CK_ULONG found = 0;
                if (f->C_FindObjectsInit(session, wanted, 2) == CKR_OK) {
                    if (f->C_FindObjects(session, &key, 1, &found) == CKR_OK && found == 1) {
                        CK_BBOOL always = CK_FALSE;
                        CK_ATTRIBUTE attribute = {CKA_ALWAYS_AUTHENTICATE, &always, sizeof always};
                        asks = f->C_GetAttributeValue(session, key, &attribute, 1) == CKR_OK &&
                               always == CK_TRUE;
                    }
                    f->C_FindObjectsFinal(session);
                }
                f->C_CloseSession(session);
            }
    }
    ::dlclose(library);
    return asks;
}
