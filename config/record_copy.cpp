#include "config/record_copy.h"

#include <type_traits>
#include <variant>

#include "config/collection.h"
#include "config/property_table.h"

namespace wavenard {

void AssignStoredValues(const TPersistent& ASource, TPersistent& ATarget) {
  const TValueAccess SourceAccess(ASource);
  const TValueAccess TargetAccess(ATarget);
  for (const TPropertyInfo& Info : ASource.PropertyTable().Properties()) {
    if (!Info.Stored) {
      continue;
    }
    std::visit(
        [&](const auto& AAccess) {
          using TAccess = std::decay_t<decltype(AAccess)>;
          if constexpr (std::is_same_v<TAccess, TNestedAccess<QStringList>>) {
            const QStringList* Source = AAccess.Get(ASource);
            QStringList* Target = AAccess.Edit(ATarget);
            if (Source != nullptr && Target != nullptr) {
              *Target = *Source;
            }
          } else if constexpr (std::is_same_v<TAccess, TNestedAccess<TCollection>>) {
            const TCollection* Source = AAccess.Get(ASource);
            TCollection* Target = AAccess.Edit(ATarget);
            if (Source != nullptr && Target != nullptr) {
              Target->Clear();
              for (int I = 0; I < Source->Count(); ++I) {
                AssignStoredValues(Source->Items(I), Target->Add());
              }
            }
          } else if constexpr (std::is_same_v<TAccess, TNestedAccess<TPersistent>>) {
            const TPersistent* Source = AAccess.Get(ASource);
            TPersistent* Target = AAccess.Edit(ATarget);
            if (Source != nullptr && Target != nullptr) {
              AssignStoredValues(*Source, *Target);
            }
          } else {
            if (AAccess.Set) {
              AAccess.Set(ATarget, AAccess.Get(ASource));
            }
          }
        },
        Info.Access);
  }
}

}  // namespace wavenard
