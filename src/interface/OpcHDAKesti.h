/* The exported interface of OpcHDAKesti.dll, as a host program sees it.
 * Every kesti2_* function returns one of the KestiResult codes. Handles are opaque pointers
 * to objects on the plug-in's heap; strings and vectors given out belong to the host, which
 * frees them with kesti2_stringFree and kesti2_vectorFree. */
#ifndef OPCHDAKESTI_H
#define OPCHDAKESTI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KESTI_CALL __cdecl

typedef uint32_t KestiResult;
enum {
    ResultOk = 0,
    ResultFailed = 1,
    ResultInvalidArgument = 2,
    ResultNotSupported = 3,
    ResultBufferTooSmall = 4
};

enum { KestiValueNull = 0, KestiValueString = 1, KestiValueFloat = 2 };

typedef struct KestiConnection* ConnectionHandle;
typedef struct KestiNode* NodeHandle;
typedef struct KestiTagObject* TagHandle;
typedef struct KestiString* StringHandle;
typedef struct KestiVector* VectorHandle;

KestiResult KESTI_CALL kesti2_initialize(void);
KestiResult KESTI_CALL kesti2_uninitialize(void);
KestiResult KESTI_CALL kesti2_getIdentity(StringHandle* identity);
KestiResult KESTI_CALL kesti2_updateConfiguration(void* host, StringHandle* result);

KestiResult KESTI_CALL kesti2_connectionOpen(void* host, ConnectionHandle* connection);
KestiResult KESTI_CALL kesti2_connectionClose(ConnectionHandle connection);
KestiResult KESTI_CALL kesti2_connectionGetCurrentTime(ConnectionHandle connection, uint32_t* seconds);
KestiResult KESTI_CALL kesti2_connectionGetNumNodes(ConnectionHandle connection, uint32_t* count);
KestiResult KESTI_CALL kesti2_connectionGetNode(ConnectionHandle connection, uint32_t index, NodeHandle* node);

KestiResult KESTI_CALL kesti2_nodeGetName(NodeHandle node, StringHandle* name);
KestiResult KESTI_CALL kesti2_nodeGetNumNodes(NodeHandle node, uint32_t* count);
KestiResult KESTI_CALL kesti2_nodeGetNode(NodeHandle node, uint32_t index, NodeHandle* child);
KestiResult KESTI_CALL kesti2_nodeGetNumTags(NodeHandle node, uint32_t* count);
KestiResult KESTI_CALL kesti2_nodeGetTag(NodeHandle node, uint32_t index, TagHandle* tag);
KestiResult KESTI_CALL kesti2_nodeGetActiveBatches(NodeHandle node, int32_t from, int32_t to, VectorHandle* batches);
KestiResult KESTI_CALL kesti2_nodeGetBatchTimes(NodeHandle node, const char* batch, int32_t n, uint32_t* startTime,
                                               uint32_t* endTime);

KestiResult KESTI_CALL kesti2_tagGetName(TagHandle tag, StringHandle* name);
KestiResult KESTI_CALL kesti2_tagGetUpdateTime(TagHandle tag, uint32_t* seconds);

KestiResult KESTI_CALL kesti2_connectionReadCurrentData(ConnectionHandle connection, const TagHandle* tags,
                                                       uint32_t count, VectorHandle* values);
KestiResult KESTI_CALL kesti2_connectionReadHistoricalData(ConnectionHandle connection, const TagHandle* tags,
                                                          uint32_t count, int32_t time, VectorHandle* values);
KestiResult KESTI_CALL kesti2_connectionReadHistoricalDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                            uint32_t count, int32_t start, int32_t step,
                                                            uint32_t rows, VectorHandle* rowValues);
KestiResult KESTI_CALL kesti2_connectionReadBatchData(ConnectionHandle connection, const TagHandle* tags,
                                                     uint32_t count, const char* batch, VectorHandle* values);
KestiResult KESTI_CALL kesti2_connectionReadBatchDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                       uint32_t count, const char* batch, int32_t time,
                                                       VectorHandle* values);
/* Not supported: returns ResultNotSupported whatever it is given. */
KestiResult KESTI_CALL kesti2_connectionReadDiscreteData(void);

KestiResult KESTI_CALL kesti2_connectionWriteHistoricalData(ConnectionHandle connection, const TagHandle* tags,
                                                           uint32_t count, int32_t time, VectorHandle row);
KestiResult KESTI_CALL kesti2_connectionWriteHistoricalDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                             uint32_t count, int32_t start, int32_t step,
                                                             uint32_t rows, const VectorHandle* rowValues);
KestiResult KESTI_CALL kesti2_connectionWriteBatchData(ConnectionHandle connection, const TagHandle* tags,
                                                      uint32_t count, const char* batch, VectorHandle row);
KestiResult KESTI_CALL kesti2_connectionWriteBatchDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                        uint32_t count, const char* batch, int32_t time,
                                                        VectorHandle row);
/* Not supported: returns ResultNotSupported whatever it is given. */
KestiResult KESTI_CALL kesti2_connectionWriteDiscreteData(void);

KestiResult KESTI_CALL kesti2_stringCreate(const char* text, StringHandle* string);
KestiResult KESTI_CALL kesti2_stringCopy(StringHandle string, char* buffer, uint32_t* length);
KestiResult KESTI_CALL kesti2_stringFree(StringHandle string);

KestiResult KESTI_CALL kesti2_vectorCreate(uint32_t length, VectorHandle* vector);
KestiResult KESTI_CALL kesti2_vectorFree(VectorHandle vector);
KestiResult KESTI_CALL kesti2_vectorGetLength(VectorHandle vector, uint32_t* length);
KestiResult KESTI_CALL kesti2_vectorGetType(VectorHandle vector, uint32_t index, uint32_t* type);
KestiResult KESTI_CALL kesti2_vectorGetFloat(VectorHandle vector, uint32_t index, float* value);
KestiResult KESTI_CALL kesti2_vectorGetString(VectorHandle vector, uint32_t index, StringHandle* string);
KestiResult KESTI_CALL kesti2_vectorSetNull(VectorHandle vector, uint32_t index);
KestiResult KESTI_CALL kesti2_vectorSetFloat(VectorHandle vector, uint32_t index, float value);
KestiResult KESTI_CALL kesti2_vectorSetString(VectorHandle vector, uint32_t index, const char* text);

#ifdef __cplusplus
}
#endif

#endif
