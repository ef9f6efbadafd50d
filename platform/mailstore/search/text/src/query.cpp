#include "mailsearch/query.h"

namespace mailsearch {

bool ParseQuery(std::string_view, const QueryContext&, QueryNode*, QueryError* error) {
  error->message = "not implemented yet";
  error->position = 1;
  return false;
}

}  // namespace mailsearch
