const api = globalThis.browser ?? globalThis.chrome;
const fields = ["captureDownloads", "minimumSizeMb", "fileTypes", "neverSites"];

function valueOf(element) {
  if (element.type === "checkbox") {
    return element.checked;
  }
  return element.type === "number" ? Math.max(0, Number(element.value) || 0) : element.value;
}

async function load() {
  const settings = await api.storage.local.get(DEFAULT_SETTINGS);
  for (const name of fields) {
    const element = document.getElementById(name);
    element[element.type === "checkbox" ? "checked" : "value"] = settings[name];
    element.addEventListener("change", () => api.storage.local.set({ [name]: valueOf(element) }));
  }
}

load();
