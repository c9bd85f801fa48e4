// Kernel objects that only administrators and the system can reach.
//
// AdminOnlySecurity owns a security descriptor for new objects: owner Administrators, and a
// protected access list that grants SYSTEM and Administrators everything and nobody else
// anything. Made from its text form; attributes() is null when it could not be made (the last
// error says why). OwnedByAdministratorsOrSystem tells whether an existing object's owner is one
// of those two, the only accounts that can make an object with such an owner; false also when
// the owner cannot be read.
#pragma once

#include <windows.h>

#include "handles.h"

class AdminOnlySecurity {
 public:
  AdminOnlySecurity();
  AdminOnlySecurity(const AdminOnlySecurity&) = delete;
  AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

  LPSECURITY_ATTRIBUTES attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  UniqueLocalBlock descriptor_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

bool OwnedByAdministratorsOrSystem(HANDLE object);
