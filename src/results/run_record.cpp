#include "results/run_record.h"

#include <stdexcept>
#include <utility>

namespace qz5::results {
namespace {

template <class T>
auto* find_named(std::vector<T>& items, std::string_view name) {
  for (T& item : items)
    if (item.name == name) return &item;
  return static_cast<T*>(nullptr);
}

template <class T>
const T* find_named(const std::vector<T>& items, std::string_view name) {
  for (const T& item : items)
    if (item.name == name) return &item;
  return nullptr;
}

bool has_blank(std::string_view s) { return s.find_first_of(" \t") != std::string_view::npos; }

}  // namespace

const AttributeValue* Variable::attribute(std::string_view name) const {
  const Attribute* a = find_named(attributes, name);
  return a == nullptr ? nullptr : &a->value;
}

std::string Variable::text(std::string_view name) const {
  const AttributeValue* v = attribute(name);
  if (v == nullptr) return {};
  const std::string* s = std::get_if<std::string>(v);
  return s == nullptr ? std::string() : *s;
}

const Dimension* RunRecord::dimension(std::string_view name) const {
  return find_named(dimensions, name);
}
Dimension* RunRecord::dimension(std::string_view name) { return find_named(dimensions, name); }
const Variable* RunRecord::variable(std::string_view name) const {
  return find_named(variables, name);
}
Variable* RunRecord::variable(std::string_view name) { return find_named(variables, name); }

const AttributeValue* RunRecord::attribute(std::string_view name) const {
  const Attribute* a = find_named(attributes, name);
  return a == nullptr ? nullptr : &a->value;
}

void RunRecord::set_attribute(std::string_view name, AttributeValue value) {
  if (Attribute* a = find_named(attributes, name)) {
    a->value = std::move(value);
    return;
  }
  attributes.push_back(Attribute{std::string(name), std::move(value)});
}

void RunRecord::drop_held_rows() {
  for (Dimension& d : dimensions) {
    if (!d.unlimited) continue;
    for (Variable& v : variables)
      if (!v.dimensions.empty() && v.dimensions[0] == d.name) v.data.clear();
    d.first_held = d.size;
  }
}

Dimension& RunRecord::add_dimension(std::string_view name, std::size_t size, bool unlimited) {
  // A repeated name would make a file the library refuses half-way.
  if (dimension(name) != nullptr)
    throw std::invalid_argument("the record already has a dimension " + std::string(name));
  dimensions.push_back(Dimension{std::string(name), unlimited ? 0 : size, unlimited});
  return dimensions.back();
}

Variable& RunRecord::add_variable(std::string_view name, std::vector<std::string> dims,
                                  std::vector<Attribute> attrs) {
  if (variable(name) != nullptr)
    throw std::invalid_argument("the record already uses the name " + std::string(name));
  std::size_t n = 1;
  for (const std::string& d : dims) {
    const Dimension* dim = dimension(d);
    if (dim == nullptr) throw std::invalid_argument("the record has no dimension " + d);
    n *= dim->size;
  }
  variables.push_back(
      Variable{std::string(name), std::move(dims), std::move(attrs), {}, false, {}});
  variables.back().data.assign(n, 0.0);
  return variables.back();
}

std::vector<std::size_t> RunRecord::shape(const Variable& v) const {
  std::vector<std::size_t> s;
  for (const std::string& d : v.dimensions) {
    const Dimension* dim = dimension(d);
    s.push_back(dim == nullptr ? 0 : dim->size);
  }
  return s;
}

std::string mass_unit(std::string_view concentration_unit, std::string_view length_unit) {
  if (has_blank(concentration_unit) || has_blank(length_unit))
    return "(" + std::string(concentration_unit) + ")*(" + std::string(length_unit) + ")^3";
  return std::string(concentration_unit) + " " + std::string(length_unit) + "3";
}

}  // namespace qz5::results
