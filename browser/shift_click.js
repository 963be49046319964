// Tells the extension of a link clicked with Shift held: the user keeps
// that download in the browser.
document.addEventListener(
  "click",
  (event) => {
    const link = event.shiftKey && event.target.closest?.("a[href]");
    if (link) {
      (globalThis.browser ?? globalThis.chrome).runtime.sendMessage({ keep: link.href });
    }
  },
  true
);
