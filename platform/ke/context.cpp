#include "platform/ke/context.h"

#include <exception>
#include <utility>

#include "platform/ex/expool.h"
#include "platform/ke/kernel.h"

namespace plat::ke {
namespace {

// The context this host thread runs (null on host threads that are none).
thread_local Context* current_context = nullptr;

}  // namespace

Context* CurrentContextOrNull() { return current_context; }
void SetCurrentContext(Context* context) { current_context = context; }

std::string CurrentOwner() {
  return current_context != nullptr ? current_context->owner : std::string();
}

std::string MadeBy(const std::string& owner) {
  return owner.empty() ? std::string() : ", made by " + owner;
}

OwnerScope::OwnerScope(std::string owner) : self_(current_context) {
  if (self_ == nullptr) return;
  saved_ = std::exchange(self_->owner, std::move(owner));
}

OwnerScope::~OwnerScope() {
  if (self_ != nullptr) self_->owner = std::move(saved_);
}

Context::Context(Kernel& owner, ContextKind context_kind, std::string context_name,
                 KPRIORITY initial_priority, std::function<void()> body)
    : kernel(owner),
      kind(context_kind),
      name(std::move(context_name)),
      priority(initial_priority),
      previous_mode(context_kind == ContextKind::User ? UserMode : KernelMode),
      label_(&owner.InternLabel(name)),
      body_(std::move(body)) {}

Context::~Context() { Join(); }

void Context::Launch() {
  if (thread != nullptr && kind != ContextKind::Idle)
    label_ = &kernel.InternLabel(name + "#" + std::to_string(thread->Header.Number));
  host_ = std::thread([this] { HostMain(); });
}

void Context::Join() {
  if (host_.joinable()) host_.join();
}

void Context::Park() {
  baton_.Take();
  if (unwinding && std::uncaught_exceptions() == 0) throw ThreadUnwind{};
}

void Context::HostMain() {
  SetCurrentContext(this);
  ex::ScopedPool pool(kernel.pool());
  bool unwound = false;
  try {
    Park();
    body_();
  } catch (const ThreadUnwind&) {
    unwound = true;
  } catch (const std::exception& e) {
    kernel.Fatal("ke.unhandled-exception",
                 std::string("exception escaped the thread: ") + e.what());
  }
  if (unwinding && !unwound) {
    kernel.Fatal("ke.unwind-swallowed",
                 "the thread returned although its termination was under way: code between "
                 "PsTerminateSystemThread and the thread's start caught the unwinding");
  }
  kernel.EndContext(*this);
}

}  // namespace plat::ke
