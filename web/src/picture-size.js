// The size of a picture's screen, shared by the page's tiles and the worker's GIF: as large as
// the picture's largest frame, and never empty.
export function pictureSize(row) {
  return {
    width: Math.max(1, ...row.map((f) => f.width)),
    height: Math.max(1, ...row.map((f) => f.height)),
  };
}
