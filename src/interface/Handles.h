#pragma once
// Conversions between the host's opaque handles and the objects behind them. This is the
// only place where the plug-in's pointers change type at the boundary.
#include <string>

#include "interface/BoundaryString.h"
#include "interface/OpcHDAKesti.h"
#include "model/SourceConnection.h"
#include "model/ValueVector.h"
#include "model/Tag.h"
#include "model/Node.h"

namespace kesti {

inline SourceConnection* FromHandle(ConnectionHandle h) { return reinterpret_cast<SourceConnection*>(h); }
inline Node* FromHandle(NodeHandle h) { return reinterpret_cast<Node*>(h); }
inline Tag* FromHandle(TagHandle h) { return reinterpret_cast<Tag*>(h); }
inline BoundaryString* FromHandle(StringHandle h) { return reinterpret_cast<BoundaryString*>(h); }
inline ValueVector* FromHandle(VectorHandle h) { return reinterpret_cast<ValueVector*>(h); }

inline ConnectionHandle ToHandle(SourceConnection* p) { return reinterpret_cast<ConnectionHandle>(p); }
inline NodeHandle ToHandle(Node* p) { return reinterpret_cast<NodeHandle>(p); }
inline TagHandle ToHandle(Tag* p) { return reinterpret_cast<TagHandle>(p); }
inline StringHandle ToHandle(BoundaryString* p) { return reinterpret_cast<StringHandle>(p); }
inline VectorHandle ToHandle(ValueVector* p) { return reinterpret_cast<VectorHandle>(p); }

// A new host-owned string holding a copy of the bytes.
inline StringHandle NewStringHandle(std::string bytes) { return ToHandle(new BoundaryString{std::move(bytes)}); }

} // namespace kesti
