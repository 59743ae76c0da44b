// Boundary strings and value vectors: created, filled, read and freed by the host.
// These exports cannot fail but on exhausted memory, which becomes result 1.
#include <cstring>

#include "interface/CallGuard.h"
#include "interface/Handles.h"

using namespace kesti;

namespace {

// Text up to its first zero byte.
std::string HostText(const char* text) { return std::string(text, std::strlen(text)); }

} // namespace

extern "C" {

KestiResult KESTI_CALL kesti2_stringCreate(const char* text, StringHandle* string) {
    if (text == nullptr || string == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *string = NewStringHandle(HostText(text));
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_stringCopy(StringHandle string, char* buffer, uint32_t* length) {
    if (string == nullptr || length == nullptr) return ResultInvalidArgument;
    const std::string& bytes = FromHandle(string)->bytes;
    const uint32_t available = *length;
    *length = static_cast<uint32_t>(bytes.size()); // stored before the buffer is examined
    if (bytes.size() > available) return ResultBufferTooSmall;
    if (bytes.empty()) return ResultOk;
    if (buffer == nullptr) return ResultInvalidArgument;
    std::memcpy(buffer, bytes.data(), bytes.size());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_stringFree(StringHandle string) {
    delete FromHandle(string);
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorCreate(uint32_t length, VectorHandle* vector) {
    if (length == 0 || vector == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *vector = ToHandle(new ValueVector(length));
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_vectorFree(VectorHandle vector) {
    delete FromHandle(vector);
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorGetLength(VectorHandle vector, uint32_t* length) {
    if (vector == nullptr || length == nullptr) return ResultInvalidArgument;
    *length = static_cast<uint32_t>(FromHandle(vector)->Length());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorGetType(VectorHandle vector, uint32_t index, uint32_t* type) {
    if (vector == nullptr || type == nullptr || !FromHandle(vector)->IsValidIndex(index)) return ResultInvalidArgument;
    *type = static_cast<uint32_t>(FromHandle(vector)->TypeAt(index));
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorGetFloat(VectorHandle vector, uint32_t index, float* value) {
    if (vector == nullptr || value == nullptr || !FromHandle(vector)->IsValidIndex(index)) return ResultInvalidArgument;
    const float* element = FromHandle(vector)->FloatAt(index);
    if (element == nullptr) return ResultFailed;
    *value = *element;
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorGetString(VectorHandle vector, uint32_t index, StringHandle* string) {
    if (vector == nullptr || string == nullptr || !FromHandle(vector)->IsValidIndex(index))
        return ResultInvalidArgument;
    const std::string* element = FromHandle(vector)->StringAt(index);
    if (element == nullptr) return ResultFailed;
    return kesti2_stringCreate(element->c_str(), string);
}

KestiResult KESTI_CALL kesti2_vectorSetNull(VectorHandle vector, uint32_t index) {
    if (vector == nullptr || !FromHandle(vector)->IsValidIndex(index)) return ResultInvalidArgument;
    FromHandle(vector)->SetNull(index);
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorSetFloat(VectorHandle vector, uint32_t index, float value) {
    if (vector == nullptr || !FromHandle(vector)->IsValidIndex(index)) return ResultInvalidArgument;
    FromHandle(vector)->SetFloat(index, value);
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_vectorSetString(VectorHandle vector, uint32_t index, const char* text) {
    if (vector == nullptr || text == nullptr || !FromHandle(vector)->IsValidIndex(index))
        return ResultInvalidArgument;
    return SilentGuard([&] {
        FromHandle(vector)->SetString(index, HostText(text));
        return ResultOk;
    });
}

} // extern "C"
