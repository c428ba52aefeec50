#pragma once
// The form-resource writer: writes a component and the components it owns in
// the textual form format the form reader reads (see form_reader.h), through
// the same property tables. Controls are written inside the control they lie
// on, a menu's items inside the menu, other components at the top level of
// the root; components that another component made for itself (not owned by
// the root) are left out, as are the root's inherited components.
//
// A property is written when the component stores it (its table says so) and
// its value differs from the value a new component of the same class has:
// reading the text into a new form of the same class gives equal values.
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/vcl/form_reader.h"

// The resource text of Root and the components it owns.
std::string WriteComponentResource(TComponent* Root);

// The stored properties of one component (every one whose table entry
// writes, whether or not it differs from a new component's), in the order
// the writer uses. For comparisons in tests and tools.
std::vector<std::pair<std::string, TFormValue>> StoredFormProperties(const TComponent* Instance);
