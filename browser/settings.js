// The options both the background script and the options page read.
const DEFAULT_SETTINGS = {
  captureDownloads: false,
  // Megabytes; 0 sends no download for its size alone.
  minimumSizeMb: 20,
  // File name endings, without dots, separated by spaces or commas.
  fileTypes: "iso img zip 7z rar tar gz bz2 xz zst deb rpm exe msi dmg mp4 mkv avi",
  // Host names, separated by spaces or commas: their downloads, and those of
  // their subdomains, stay in the browser.
  neverSites: ""
};

function fileTypeList(text) {
  return text
    .toLowerCase()
    .split(/[\s,]+/)
    .map((type) => type.replace(/^\./, ""))
    .filter((type) => type !== "");
}

// Whether a URL's host is one of the listed sites or lies under one.
function onListedSite(url, sitesText) {
  let host;
  try {
    host = new URL(url).hostname.toLowerCase();
  } catch {
    return false;
  }
  return fileTypeList(sitesText).some((site) => host === site || host.endsWith(`.${site}`));
}
