// SPDX-License-Identifier: GPL-3.0-or-later
// Small owners for GLib objects and memory, so nothing leaks on early returns.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>
#include <utility>

namespace ov {

// Owns one reference of a GObject. Movable, not copyable by accident: use ref() to share.
template <typename T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* adopt) : ptr_(adopt) {}
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    GRef(GRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    GRef& operator=(GRef&& other) noexcept
    {
        if (this != &other) {
            reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ~GRef() { reset(); }

    static GRef retain(T* p) { return GRef(p ? static_cast<T*>(g_object_ref(p)) : nullptr); }
    GRef ref() const { return retain(ptr_); }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T* release() { return std::exchange(ptr_, nullptr); }
    void reset(T* adopt = nullptr)
    {
        if (ptr_)
            g_object_unref(ptr_);
        ptr_ = adopt;
    }

private:
    T* ptr_ = nullptr;
};

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

struct GErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct GVariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantDeleter>;

struct GBytesDeleter {
    void operator()(GBytes* b) const { g_bytes_unref(b); }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesDeleter>;

// A signal connection that is disconnected when this object goes away.
class SignalConnection {
public:
    SignalConnection() = default;
    SignalConnection(gpointer instance, gulong id) : instance_(instance), id_(id)
    {
        if (instance_)
            g_object_weak_ref(G_OBJECT(instance_), &SignalConnection::instanceGone, this);
    }
    SignalConnection(const SignalConnection&) = delete;
    SignalConnection& operator=(const SignalConnection&) = delete;
    SignalConnection(SignalConnection&& o) noexcept { *this = std::move(o); }
    SignalConnection& operator=(SignalConnection&& o) noexcept
    {
        if (this != &o) {
            disconnect();
            if (o.instance_) {
                g_object_weak_unref(G_OBJECT(o.instance_), &SignalConnection::instanceGone, &o);
                instance_ = std::exchange(o.instance_, nullptr);
                id_ = std::exchange(o.id_, 0);
                g_object_weak_ref(G_OBJECT(instance_), &SignalConnection::instanceGone, this);
            }
        }
        return *this;
    }
    ~SignalConnection() { disconnect(); }

    void disconnect()
    {
        if (instance_) {
            g_object_weak_unref(G_OBJECT(instance_), &SignalConnection::instanceGone, this);
            if (id_ && g_signal_handler_is_connected(instance_, id_))
                g_signal_handler_disconnect(instance_, id_);
        }
        instance_ = nullptr;
        id_ = 0;
    }

private:
    static void instanceGone(gpointer self, GObject*)
    {
        auto* c = static_cast<SignalConnection*>(self);
        c->instance_ = nullptr;
        c->id_ = 0;
    }
    gpointer instance_ = nullptr;
    gulong id_ = 0;
};

} // namespace ov
