// The runner's per-operation request objects. A request object is built by
// its operation's request builder and reused by every attempt of the call,
// until the operation's clear call. Optional elements of a request are
// pointers; the slot owns what they point to.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "runner/soap/crm_soap.h"

template <class Request>
class RequestSlot {
  public:
    // A fresh request object (the previous one is released first).
    Request* create() {
        clear();
        request_ = std::make_unique<Request>();
        return request_.get();
    }
    Request* get() const { return request_.get(); }
    // Storage for an optional element's text, owned by the slot.
    std::string* text(const std::string& value) {
        texts_.push_back(value);
        return &texts_.back();
    }
    // Storage for an optional element with children, owned by the slot.
    template <class Element>
    Element* element() {
        auto owned = std::make_shared<Element>();
        elements_.push_back(owned);
        return owned.get();
    }
    void clear() {
        request_.reset();
        texts_.clear();
        elements_.clear();
    }

  private:
    std::unique_ptr<Request> request_;
    std::deque<std::string> texts_;  // stable addresses
    std::deque<std::shared_ptr<void>> elements_;
};

struct RunnerSlots {
    RequestSlot<conn::ConnectionCheckInput> conn;
    RequestSlot<card::GetInfoInput> card;
    RequestSlot<order::ProcOrderInput> order;
    RequestSlot<batch::BatchOrderSyncInput> batch;
    RequestSlot<hold::HoldPointsInput> hold;
    RequestSlot<hold::UnholdPointsInput> unhold;
    RequestSlot<storn::OrderStornoInput> storn;
};
