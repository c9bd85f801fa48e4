// Kernel objects that only administrators and the system can make or change.
//
// ObjectSecurity owns a security descriptor for new objects, made from its text form;
// attributes() is null when it could not be made (the last error says why). AdminOnlySecurity is
// the one for objects no one else may reach: owner Administrators, and a protected access list
// that grants SYSTEM and Administrators everything and nobody else anything.
// OwnedByAdministratorsOrSystem tells whether an existing object's owner is one of those two,
// the only accounts that can make an object with such an owner; false also when the owner cannot
// be read.
#pragma once

#include <windows.h>

#include "handles.h"

class ObjectSecurity {
 public:
  explicit ObjectSecurity(const WCHAR* text);
  ObjectSecurity(const ObjectSecurity&) = delete;
  ObjectSecurity& operator=(const ObjectSecurity&) = delete;

  LPSECURITY_ATTRIBUTES attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  UniqueLocalBlock descriptor_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

class AdminOnlySecurity : public ObjectSecurity {
 public:
  AdminOnlySecurity() : ObjectSecurity(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)") {}
};

bool OwnedByAdministratorsOrSystem(HANDLE object);
