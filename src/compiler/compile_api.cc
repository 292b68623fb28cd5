// The compiler's C interface: each export catches what the C++ inside may throw and answers with a status
// and a message.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "language.h"
#include "listing.h"
#include "plan_file.h"
#include "plan_view.h"
#include "predicate.h"
#include "schema.h"
#include "vexcompile.h"

struct VxcPlan {
  vexfilt::cli::Schema schema;
  vexfilt::cli::CompiledPlan compiled;
  std::string predicate;
};

namespace vexfilt::cli {
namespace {

constexpr std::size_t kTableNameLength = 10;

// Sets `error` (when given) and returns its status. The message is cut at a character boundary.
std::int32_t Failed(VxcError* error, std::int32_t status, std::string_view message, int line = 0, int column = 0) {
  if (error == nullptr) return status;
  error->status = status;
  error->line = line;
  error->column = column;
  std::size_t length = std::min(message.size(), sizeof error->message - 1);
  while (length < message.size() && length > 0 && (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) --length;
  std::memcpy(error->message, message.data(), length);
  error->message[length] = '\0';
  return status;
}

std::int32_t Succeeded(VxcError* error) {
  if (error != nullptr) *error = VxcError{};
  return VXC_OK;
}

// Runs `body`, turning what it throws into a status: the heap running out, or a fault of the compiler.
template <typename Body>
std::int32_t Guarded(VxcError* error, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Failed(error, VXC_NO_MEMORY, "the heap could not supply room");
  } catch (const std::exception& e) {
    return Failed(error, VXC_INTERNAL, std::string("internal error: ") + e.what());
  } catch (...) {
    return Failed(error, VXC_INTERNAL, "internal error");
  }
}

std::int32_t ReadOptions(const VxcOptions* options, const Schema& schema, CompileOptions* out, VxcError* error) {
  if (options == nullptr) return VXC_OK;
  if (options->tableName != nullptr) {
    out->tableName = options->tableName;
    if (out->tableName.empty() || out->tableName.size() > kTableNameLength) {
      return Failed(error, VXC_BAD_OPTION, "the table name must be 1 to 10 characters");
    }
  }
  if (options->language != nullptr) {
    std::string message;
    if (!ParseLanguage(options->language, &out->languageId, &message)) return Failed(error, VXC_BAD_OPTION, message);
  }
  if (options->keyColumnCount < 0 || (options->keyColumnCount > 0 && options->keyColumns == nullptr)) {
    return Failed(error, VXC_BAD_ARGUMENT, "keyColumnCount is negative, or keyColumns is NULL");
  }
  for (std::int32_t i = 0; i < options->keyColumnCount; ++i) {
    const char* key = options->keyColumns[i];
    if (key == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "a key column is NULL");
    if (schema.Find(key) == nullptr) return Failed(error, VXC_BAD_OPTION, std::string("unknown key column '") + key + "'");
    out->keyColumns.emplace_back(key);
  }
  return VXC_OK;
}

std::int32_t Compile(std::optional<Schema> schema, const std::string& schemaError, const char* predicate,
                     const VxcOptions* options, VxcPlan** plan, VxcError* error) {
  if (!schema) return Failed(error, VXC_BAD_SCHEMA, schemaError);
  CompileOptions compileOptions;
  if (const std::int32_t status = ReadOptions(options, *schema, &compileOptions, error)) return status;
  CompileError compileError;
  auto compiled = CompilePredicate(predicate, *schema, compileOptions, &compileError);
  if (!compiled) {
    const CompileError::Place place = compileError.PlaceIn(predicate);
    return Failed(error, VXC_BAD_PREDICATE, compileError.message, place.line, place.column);
  }
  *plan = new VxcPlan{std::move(*schema), std::move(*compiled), predicate};
  return Succeeded(error);
}

std::string RecordTooShort(const VxcPlan& plan, std::int32_t recordLength) {
  return "the record is " + std::to_string(recordLength) + " bytes; the schema lays out " +
         std::to_string(plan.schema.recordLength());
}

// The column named `column` of a record of `recordLength` bytes, which must hold the schema's layout.
std::int32_t ColumnOfRecord(const VxcPlan& plan, const char* column, std::int32_t recordLength, const Field** field,
                            VxcError* error) {
  if (recordLength < plan.schema.recordLength()) return Failed(error, VXC_BAD_ARGUMENT, RecordTooShort(plan, recordLength));
  *field = plan.schema.Find(column);
  if (*field == nullptr) return Failed(error, VXC_BAD_VALUE, std::string("unknown column '") + column + "'");
  return VXC_OK;
}

// Writes `value` into `field` of the record; a value refused is VXC_BAD_VALUE with why, and leaves the record
// as it was, as Encode checks before it writes. Success leaves `error` alone.
std::int32_t Written(const VxcPlan& plan, const Field& field, const char* value, std::size_t valueLength, void* record,
                     std::int32_t recordLength, VxcError* error) {
  const std::span<std::uint8_t> bytes(static_cast<std::uint8_t*>(record), static_cast<std::size_t>(recordLength));
  const std::string fault = plan.schema.Encode(field, std::string_view(value, valueLength), bytes);
  return fault.empty() ? VXC_OK : Failed(error, VXC_BAD_VALUE, fault);
}

std::string PlanFileOf(const VxcPlan& plan) {
  return EncodePlanFile(SavedPlan{plan.schema.Text(), plan.predicate, plan.compiled});
}

// The plan a plan file holds; a file that is none is refused with what is wrong, after `where`.
std::int32_t PlanOfFile(std::string_view bytes, const std::string& where, VxcPlan** plan, VxcError* error) {
  std::string message;
  auto opened = OpenPlanFile(bytes, &message);
  if (!opened) return Failed(error, VXC_FILE_ERROR, where + message);
  *plan = new VxcPlan{std::move(opened->schema), std::move(opened->saved.compiled), std::move(opened->saved.predicate)};
  return Succeeded(error);
}

// What `print` writes to a stream, as text the caller releases with VXC_FreeText.
template <typename Print>
std::int32_t Printed(VxcError* error, char** text, Print&& print) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  if (out == nullptr) return Failed(error, VXC_NO_MEMORY, "the heap could not supply room");
  char* why = nullptr;
  std::size_t whySize = 0;
  std::FILE* err = open_memstream(&why, &whySize);
  if (err == nullptr) {
    std::fclose(out);
    std::free(buffer);
    return Failed(error, VXC_NO_MEMORY, "the heap could not supply room");
  }
  const int status = print(out, err);
  std::fclose(out);
  std::fclose(err);
  std::string message(why, whySize);
  std::free(why);
  if (status != 0) {
    std::free(buffer);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    // The listing writes its complaints as a program would; the status already says it is an error.
    if (message.starts_with("error: ")) message.erase(0, 7);
    return Failed(error, VXC_INTERNAL, message.empty() ? "the plan cannot be listed" : message);
  }
  *text = buffer;
  return Succeeded(error);
}

}  // namespace
}  // namespace vexfilt::cli

using namespace vexfilt::cli;

extern "C" {

VEXCOMPILE_EXPORT int32_t VXC_CompileText(const char* schema, const char* predicate, const VxcOptions* options,
                                          VxcPlan** plan, VxcError* error) {
  if (plan != nullptr) *plan = nullptr;
  if (schema == nullptr || predicate == nullptr || plan == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "schema, predicate and plan must not be NULL");
  }
  return Guarded(error, [&] {
    std::string schemaError;
    auto parsed = Schema::Parse(schema, &schemaError);
    return Compile(std::move(parsed), schemaError, predicate, options, plan, error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_CompileColumns(const VxcColumn* columns, int32_t columnCount, int32_t recordLength,
                                             const char* predicate, const VxcOptions* options, VxcPlan** plan,
                                             VxcError* error) {
  if (plan != nullptr) *plan = nullptr;
  if (columns == nullptr || columnCount < 1 || predicate == nullptr || plan == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "columns, predicate and plan must not be NULL, and columnCount at least 1");
  }
  return Guarded(error, [&]() -> std::int32_t {
    // The columns as schema text, each placed at its offset: one reading of schemas for both forms.
    std::string text;
    for (int32_t i = 0; i < columnCount; ++i) {
      const VxcColumn& c = columns[i];
      if (c.name == nullptr || c.type == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "a column's name or type is NULL");
      const std::string_view name(c.name), type(c.type);
      if (name.find_first_of(", \t\n") != std::string_view::npos || type.find(',') != std::string_view::npos) {
        return Failed(error, VXC_BAD_SCHEMA, "column '" + std::string(name) + "': a name or type may not hold a comma or blank");
      }
      text += std::string(name) + " " + std::string(type) + " at " + std::to_string(c.offset) + ", ";
    }
    text += "record " + std::to_string(recordLength);
    std::string schemaError;
    auto schema = Schema::Parse(text, &schemaError);
    if (schema) {
      for (int32_t i = 0; i < columnCount; ++i) {
        const Field& field = schema->fields()[static_cast<std::size_t>(i)];
        if (columns[i].length != 0 && columns[i].length != field.Bytes()) {
          return Failed(error, VXC_BAD_SCHEMA,
                        "column '" + field.name + "': " + field.TypeName() + " takes " + std::to_string(field.Bytes()) +
                            " bytes, not " + std::to_string(columns[i].length));
        }
      }
    }
    return Compile(std::move(schema), schemaError, predicate, options, plan, error);
  });
}

VEXCOMPILE_EXPORT void VXC_FreePlan(VxcPlan* plan) { delete plan; }

VEXCOMPILE_EXPORT const void* VXC_PlanBytes(const VxcPlan* plan, int16_t* length) {
  if (plan == nullptr) return nullptr;
  if (length != nullptr) *length = static_cast<int16_t>(plan->compiled.plan.size());
  return plan->compiled.plan.data();
}

VEXCOMPILE_EXPORT const void* VXC_PoolBytes(const VxcPlan* plan, int16_t* length) {
  if (plan == nullptr) return nullptr;
  if (length != nullptr) *length = static_cast<int16_t>(plan->compiled.pool.size());
  return plan->compiled.pool.data();
}

VEXCOMPILE_EXPORT int32_t VXC_RecordLength(const VxcPlan* plan) { return plan == nullptr ? 0 : plan->schema.recordLength(); }

VEXCOMPILE_EXPORT int32_t VXC_ColumnCount(const VxcPlan* plan) {
  return plan == nullptr ? 0 : static_cast<int32_t>(plan->schema.fields().size());
}

VEXCOMPILE_EXPORT const char* VXC_ColumnName(const VxcPlan* plan, int32_t index) {
  if (plan == nullptr || index < 0 || static_cast<std::size_t>(index) >= plan->schema.fields().size()) return nullptr;
  return plan->schema.fields()[static_cast<std::size_t>(index)].name.c_str();
}

VEXCOMPILE_EXPORT const char* VXC_KeysColumn(const VxcPlan* plan) {
  if (plan == nullptr) return nullptr;
  try {
    const Field* field = KeysField(plan->compiled, plan->schema);
    return field == nullptr ? nullptr : field->name.c_str();
  } catch (...) {
    return nullptr;
  }
}

VEXCOMPILE_EXPORT const char* VXC_ChangeColumn(const VxcPlan* plan, int32_t* percent) {
  if (percent != nullptr) *percent = 0;
  if (plan == nullptr) return nullptr;
  try {
    const auto change = ChangeOf(plan->compiled.plan, plan->compiled.pool);
    const Field* field = change ? plan->schema.Find(change->column) : nullptr;
    if (field != nullptr && percent != nullptr) *percent = change->control.percent ? 1 : 0;
    return field == nullptr ? nullptr : field->name.c_str();
  } catch (...) {
    return nullptr;
  }
}

VEXCOMPILE_EXPORT const char* VXC_ChangeKey(const VxcPlan* plan, int32_t index) {
  if (plan == nullptr || index < 0) return nullptr;
  try {
    const auto change = ChangeOf(plan->compiled.plan, plan->compiled.pool);
    if (!change || static_cast<std::size_t>(index) >= change->control.keys.size()) return nullptr;
    const Field* field = plan->schema.Find(change->control.keys[static_cast<std::size_t>(index)]);
    return field == nullptr ? nullptr : field->name.c_str();
  } catch (...) {
    return nullptr;
  }
}

VEXCOMPILE_EXPORT int32_t VXC_GetValue(const VxcPlan* plan, const char* column, const void* record,
                                       int32_t recordLength, char** text, VxcError* error) {
  if (text != nullptr) *text = nullptr;
  if (plan == nullptr || column == nullptr || record == nullptr || text == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "plan, column, record and text must not be NULL");
  }
  return Guarded(error, [&]() -> std::int32_t {
    const Field* field = nullptr;
    if (const std::int32_t status = ColumnOfRecord(*plan, column, recordLength, &field, error)) return status;
    const std::string value = plan->schema.Decode(*field, static_cast<const std::uint8_t*>(record));
    auto* copy = static_cast<char*>(std::malloc(value.size() + 1));
    if (copy == nullptr) return Failed(error, VXC_NO_MEMORY, "the heap could not supply room");
    std::memcpy(copy, value.c_str(), value.size() + 1);
    *text = copy;
    return Succeeded(error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_PutValueBytes(const VxcPlan* plan, const char* column, const char* value,
                                            size_t valueLength, void* record, int32_t recordLength, VxcError* error) {
  if (plan == nullptr || column == nullptr || (value == nullptr && valueLength != 0) || record == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "plan, column, value and record must not be NULL");
  }
  return Guarded(error, [&]() -> std::int32_t {
    const Field* field = nullptr;
    if (const std::int32_t status = ColumnOfRecord(*plan, column, recordLength, &field, error)) return status;
    if (const std::int32_t status = Written(*plan, *field, value, valueLength, record, recordLength, error)) return status;
    return Succeeded(error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_PutColumnBytes(const VxcPlan* plan, int32_t index, const char* value, size_t valueLength,
                                             void* record, int32_t recordLength, VxcError* error) {
  if (plan == nullptr || (value == nullptr && valueLength != 0) || record == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "plan, value and record must not be NULL");
  }
  const auto& fields = plan->schema.fields();
  if (index < 0 || static_cast<std::size_t>(index) >= fields.size()) {
    return Failed(error, VXC_BAD_VALUE, "no column " + std::to_string(index));
  }
  if (recordLength < plan->schema.recordLength()) return Failed(error, VXC_BAD_ARGUMENT, RecordTooShort(*plan, recordLength));
  // Only a failure fills `error`: a row's fields are written by the million.
  return Guarded(error, [&] {
    return Written(*plan, fields[static_cast<std::size_t>(index)], value, valueLength, record, recordLength, error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_PutValue(const VxcPlan* plan, const char* column, const char* value, void* record,
                                       int32_t recordLength, VxcError* error) {
  if (value == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "plan, column, value and record must not be NULL");
  return VXC_PutValueBytes(plan, column, value, std::strlen(value), record, recordLength, error);
}

VEXCOMPILE_EXPORT int32_t VXC_ClearRecord(const VxcPlan* plan, void* record, int32_t recordLength, VxcError* error) {
  if (plan == nullptr || record == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "plan and record must not be NULL");
  return Guarded(error, [&]() -> std::int32_t {
    if (recordLength < plan->schema.recordLength()) return Failed(error, VXC_BAD_ARGUMENT, RecordTooShort(*plan, recordLength));
    const std::vector<std::uint8_t> empty = plan->schema.EmptyRecord();
    std::memcpy(record, empty.data(), empty.size());
    return Succeeded(error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_Listing(const VxcPlan* plan, char** text, VxcError* error) {
  if (text != nullptr) *text = nullptr;
  if (plan == nullptr || text == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "plan and text must not be NULL");
  return Guarded(error, [&] {
    return Printed(error, text, [&](std::FILE* out, std::FILE* err) { return Explain(plan->compiled, plan->schema, out, err); });
  });
}

VEXCOMPILE_EXPORT int32_t VXC_JumpGraph(const VxcPlan* plan, char** text, VxcError* error) {
  if (text != nullptr) *text = nullptr;
  if (plan == nullptr || text == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "plan and text must not be NULL");
  return Guarded(error, [&] {
    return Printed(error, text, [&](std::FILE* out, std::FILE* err) { return Dot(plan->compiled, plan->schema, out, err); });
  });
}

VEXCOMPILE_EXPORT void VXC_FreeText(char* text) { std::free(text); }

VEXCOMPILE_EXPORT int32_t VXC_WritePlanBytes(const VxcPlan* plan, char** bytes, size_t* length, VxcError* error) {
  if (bytes != nullptr) *bytes = nullptr;
  if (length != nullptr) *length = 0;
  if (plan == nullptr || bytes == nullptr || length == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "plan, bytes and length must not be NULL");
  }
  return Guarded(error, [&]() -> std::int32_t {
    const std::string encoded = PlanFileOf(*plan);
    auto* copy = static_cast<char*>(std::malloc(encoded.size()));
    if (copy == nullptr) return Failed(error, VXC_NO_MEMORY, "the heap could not supply room");
    std::memcpy(copy, encoded.data(), encoded.size());
    *bytes = copy;
    *length = encoded.size();
    return Succeeded(error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_ReadPlanBytes(const void* bytes, size_t length, VxcPlan** plan, VxcError* error) {
  if (plan != nullptr) *plan = nullptr;
  if ((bytes == nullptr && length != 0) || plan == nullptr) {
    return Failed(error, VXC_BAD_ARGUMENT, "bytes and plan must not be NULL");
  }
  return Guarded(error, [&] {
    return PlanOfFile(std::string_view(static_cast<const char*>(bytes), length), "", plan, error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_SavePlan(const VxcPlan* plan, const char* path, VxcError* error) {
  if (plan == nullptr || path == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "plan and path must not be NULL");
  return Guarded(error, [&] {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << PlanFileOf(*plan);
    if (!out.flush()) return Failed(error, VXC_FILE_ERROR, std::string("cannot write plan file '") + path + "'");
    return Succeeded(error);
  });
}

VEXCOMPILE_EXPORT int32_t VXC_LoadPlan(const char* path, VxcPlan** plan, VxcError* error) {
  if (plan != nullptr) *plan = nullptr;
  if (path == nullptr || plan == nullptr) return Failed(error, VXC_BAD_ARGUMENT, "path and plan must not be NULL");
  return Guarded(error, [&]() -> std::int32_t {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failed(error, VXC_FILE_ERROR, std::string("cannot read plan file '") + path + "'");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return PlanOfFile(bytes, std::string(path) + ": ", plan, error);
  });
}

}  // extern "C"
