#pragma once

namespace wavenard {

class TPersistent;

// Gives ATarget every stored value of ASource, an object of the same class: plain values through
// their setters, string lists whole, collections item by item, nested objects value by value.
// Read-only properties and values that are not stored stay as they are.
void AssignStoredValues(const TPersistent& ASource, TPersistent& ATarget);

}  // namespace wavenard
