// The window runtime's rules, once for every window: load on first use, single instance, unload of
// an unloaded form does nothing, and the callback when the last form goes.
#include "common/form.h"
#include "common/skin.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class CountingForm : public win::Form {
public:
    int loads = 0, unloads = 0;
    bool visibleDuringLoad = true;
    bool showFromLoad = false;

protected:
    Frame GetFrame() const override {
        Frame f;
        f.clientWidth = 40;
        f.clientHeight = 30;
        f.caption = L"CountingForm";
        return f;
    }
    void Form_Load() override {
        ++loads;
        visibleDuringLoad = IsWindowVisible(Handle()) != FALSE;
        if (showFromLoad) Show(); // a load handler that shows its own window must not recurse
    }
    void Form_Unload() override { ++unloads; }
};

class FormLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        win::Form::SetOnLastUnload([this] { ++lastUnloads_; });
    }
    void TearDown() override {
        win::Form::SetExiting(false);
        form_.Unload();
        other_.Unload();
        win::Form::SetOnLastUnload([] {});
    }
    win::FormRef<CountingForm> form_;
    win::FormRef<CountingForm> other_;
    int lastUnloads_ = 0;
};

TEST_F(FormLifecycle, ShowLoadsOnceAndShowingAgainDoesNotReload) {
    EXPECT_FALSE(form_.IsLoaded());
    form_->Show();
    ASSERT_TRUE(form_.IsLoaded());
    EXPECT_EQ(form_->loads, 1);
    EXPECT_FALSE(form_->visibleDuringLoad); // loaded hidden; the load handler decides
    const HWND first = form_->hWnd();
    EXPECT_TRUE(IsWindowVisible(first));

    form_->Show();
    form_->Load();
    EXPECT_EQ(form_->hWnd(), first);
    EXPECT_EQ(form_->loads, 1);
}

TEST_F(FormLifecycle, AskingForTheHandleLoadsWithoutShowing) {
    const HWND h = form_->hWnd();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(form_->loads, 1);
    EXPECT_FALSE(IsWindowVisible(h));
}

TEST_F(FormLifecycle, UnloadDestroysAndTheNextShowLoadsAfresh) {
    form_->Show();
    const HWND first = form_->hWnd();
    form_->Unload();
    EXPECT_FALSE(form_.IsLoaded());
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(form_->unloads, 1);

    form_->Show();
    EXPECT_EQ(form_->loads, 2);
    EXPECT_TRUE(IsWindow(form_->hWnd()));
}

TEST_F(FormLifecycle, UnloadOfAnUnloadedFormDoesNothing) {
    form_.Unload(); // never created: stays uncreated
    form_->Unload();
    EXPECT_EQ(form_->unloads, 0);
    EXPECT_EQ(lastUnloads_, 0);

    form_->Show();
    form_->Unload();
    form_->Unload();
    EXPECT_EQ(form_->unloads, 1);
    EXPECT_EQ(lastUnloads_, 1);
}

TEST_F(FormLifecycle, ShowFromItsOwnLoadHandlerDoesNotLoadTwice) {
    form_->showFromLoad = true;
    form_->Show();
    EXPECT_EQ(form_->loads, 1);
    EXPECT_TRUE(IsWindowVisible(form_->hWnd()));
}

TEST_F(FormLifecycle, LastUnloadCallbackRunsOnlyWhenNoFormIsLeft) {
    const int before = win::Form::LoadedCount();
    form_->Show();
    other_->Show();
    EXPECT_EQ(win::Form::LoadedCount(), before + 2);

    form_->Unload();
    EXPECT_EQ(lastUnloads_, 0);
    other_->Unload();
    EXPECT_EQ(win::Form::LoadedCount(), before);
    EXPECT_EQ(lastUnloads_, before == 0 ? 1 : 0);
}

TEST_F(FormLifecycle, OnceExitingNothingLoadsAgain) {
    form_->Show();
    win::Form::SetExiting(true);
    other_->Show();
    EXPECT_EQ(other_->hWnd(), nullptr);
    EXPECT_FALSE(other_.IsLoaded());
    EXPECT_EQ(other_->loads, 0);
    form_->Unload();
    EXPECT_EQ(form_->hWnd(), nullptr) << "asking for the handle after the exit loads nothing";
    EXPECT_EQ(form_->loads, 1);
    win::Form::SetExiting(false);
    EXPECT_NE(other_->hWnd(), nullptr);
}

class SkinForm : public win::SkinnedForm {
protected:
    Frame GetFrame() const override {
        Frame f;
        f.clientWidth = 40;
        f.clientHeight = 30;
        return f;
    }
    void Form_Load() override { CreatePicture1(-30, -30, 900, 700); }
};

HWND g_box = nullptr;
int g_toLiveBox = 0; // messages to the box while it still points at its object
LRESULT CALLBACK SeeBoxMessages(int code, WPARAM wp, LPARAM lp) {
    const auto *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->hwnd == g_box && GetWindowLongPtrW(m->hwnd, GWLP_USERDATA) != 0)
        ++g_toLiveBox;
    return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(FormLifecycle, SkinnedFormDestroyedWhileLoadedSendsNothingToItsGonePictureBox) {
    // As at the end of the process: the object goes while its window is still there.
    auto form = std::make_unique<SkinForm>();
    const int before = win::Form::LoadedCount();
    form->Load();
    g_box = form->Picture1.hwnd();
    ASSERT_NE(g_box, nullptr);
    g_toLiveBox = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, SeeBoxMessages, nullptr, GetCurrentThreadId());
    form.reset();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_toLiveBox, 0);
    EXPECT_FALSE(IsWindow(g_box));
    EXPECT_EQ(win::Form::LoadedCount(), before);
    EXPECT_EQ(lastUnloads_, 0) << "no last-unload callback from a destructor";
}

TEST_F(FormLifecycle, WindowDestroyedFromOutsideCountsAsUnloaded) {
    form_->Show();
    DestroyWindow(form_->hWnd());
    EXPECT_FALSE(form_.IsLoaded());
    EXPECT_EQ(lastUnloads_, 1);
    form_->Show();
    EXPECT_EQ(form_->loads, 2);
}

} // namespace
