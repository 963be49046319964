// The options both the background script and the options page read.
const DEFAULT_SETTINGS = {
  captureDownloads: false,
  // Megabytes; 0 sends no download for its size alone.
  minimumSizeMb: 20,
  // File name endings, without dots, separated by spaces or commas.
  fileTypes: "iso img zip 7z rar tar gz bz2 xz zst deb rpm exe msi dmg mp4 mkv avi"
};

function fileTypeList(text) {
  return text
    .toLowerCase()
    .split(/[\s,]+/)
    .map((type) => type.replace(/^\./, ""))
    .filter((type) => type !== "");
}
