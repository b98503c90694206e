// The simulator's JSON view of the CRM messages: one table per message class
// naming its elements in order (Fields<T>::each), and the two walks over
// them: ToJson (a received request into the record) and FromJson (a scenario
// reply into the message sent). JSON keys are the XML local names; an element
// with children is an object, a repeated element an array.
#pragma once

#include <json/json.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "common/json_util.h"
#include "tools/sim_soap.h"

namespace sim {

// Owns the objects a reply points to until the reply has been sent.
class Arena {
  public:
    template <class T>
    T* make() {
        auto p = std::make_shared<T>();
        objects_.push_back(p);
        return p.get();
    }
    void clear() { objects_.clear(); }

  private:
    std::vector<std::shared_ptr<void>> objects_;
};

template <class T>
struct Fields;  // specialised below for every message class

// Message object -> JSON. Strings always appear; null pointers do not.
class ToJson {
  public:
    explicit ToJson(Json::Value& out) : out_(out) {}
    void operator()(const char* name, const std::string& v) { out_[name] = v; }
    void operator()(const char* name, const std::string* v) {
        if (v != nullptr) out_[name] = *v;
    }
    template <class T, class = std::enable_if_t<std::is_class_v<T>>>
    void operator()(const char* name, const T& v) {
        out_[name] = of(v);
    }
    template <class T>
    void operator()(const char* name, const T* v) {
        if (v != nullptr) out_[name] = of(*v);
    }
    template <class T>
    void operator()(const char* name, const std::vector<T>& v) {
        Json::Value list(Json::arrayValue);
        for (const T& item : v) list.append(of(item));
        out_[name] = list;
    }

    template <class T>
    static Json::Value of(const T& v) {
        Json::Value obj(Json::objectValue);
        ToJson walk(obj);
        Fields<T>::each(walk, v);
        return obj;
    }

  private:
    Json::Value& out_;
};

// JSON -> message object. A missing key leaves the element unset (empty
// string, null pointer, no entries); texts are read with Jval2Str.
class FromJson {
  public:
    FromJson(const Json::Value& in, Arena& arena) : in_(in), arena_(arena) {}
    void operator()(const char* name, std::string& v) {
        if (in_.isMember(name)) v = Jval2Str(in_[name]);
    }
    void operator()(const char* name, std::string*& v) {
        if (!in_.isMember(name)) return;
        v = arena_.make<std::string>();
        *v = Jval2Str(in_[name]);
    }
    template <class T, class = std::enable_if_t<std::is_class_v<T>>>
    void operator()(const char* name, T& v) {
        if (in_.isMember(name)) fill(in_[name], v, arena_);
    }
    template <class T>
    void operator()(const char* name, T*& v) {
        if (!in_.isMember(name)) return;
        v = arena_.make<T>();
        fill(in_[name], *v, arena_);
    }
    template <class T>
    void operator()(const char* name, std::vector<T>& v) {
        const Json::Value& list = in_[name];
        if (!list.isArray()) return;
        for (const Json::Value& item : list) {
            v.emplace_back();
            fill(item, v.back(), arena_);
        }
    }

    template <class T>
    static void fill(const Json::Value& in, T& v, Arena& arena) {
        if (!in.isObject()) return;
        FromJson walk(in, arena);
        Fields<T>::each(walk, v);
    }

  private:
    const Json::Value& in_;
    Arena& arena_;
};

}  // namespace sim

#include "tools/sim_fields_tables.h"
