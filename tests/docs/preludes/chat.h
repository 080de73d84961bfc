// Prelude of the notification snippet: a host object that notifications come
// from.
struct Chat {
  void Open() {}
};
