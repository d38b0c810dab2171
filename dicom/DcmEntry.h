// The common base of the entries a data set owns: an element (DcmTag) or a nested data set
// (DcmObj). The kind answers what the class library's ClassName answered.
#pragma once

class DcmEntry {
 public:
  enum class Kind { Tag, Obj };
  virtual ~DcmEntry() = default;
  Kind kind() const { return kind_; }
  const char* ClassName() const { return kind_ == Kind::Tag ? "DcmTag" : "DcmObj"; }

 protected:
  explicit DcmEntry(Kind kind) : kind_(kind) {}

 private:
  Kind kind_;
};
