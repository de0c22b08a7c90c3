// Runs the peer detectors on the same files as the library's evaluation, on content only.
//   node peers.js <list> <out>
// <list>: lines "id<TAB>class<TAB>file". <out>: "id<TAB>class<TAB>vscode<TAB>vscode confidence<TAB>hljs<TAB>
// hljs relevance", each peer's top answer mapped to our class names ("?" where the peer has no such class).
// Needs @vscode/vscode-languagedetection and highlight.js on NODE_PATH (training/install_deps.sh).
"use strict";
const fs = require("fs");
const { ModelOperations } = require("@vscode/vscode-languagedetection");
const hljs = require("highlight.js");

const VSCODE = {
  asm: "Assembly", bat: "Batchfile", c: "C", cs: "C#", cpp: "C++", clj: "Clojure", cmake: "CMake", cbl: "COBOL",
  coffee: "CoffeeScript", css: "CSS", dart: "Dart", dockerfile: "Dockerfile", ex: "Elixir", erl: "Erlang",
  f90: "Fortran", go: "Go", groovy: "Groovy", hs: "Haskell", html: "HTML", java: "Java", js: "JavaScript",
  json: "JSON", jl: "Julia", kt: "Kotlin", lisp: "Lisp", lua: "Lua", makefile: "Makefile", md: "Markdown",
  matlab: "MATLAB", mm: "Objective-C", ml: "OCaml", pas: "Pascal", pm: "Perl", pl: "Perl", php: "PHP",
  ps1: "PowerShell", prolog: "Prolog", py: "Python", r: "R", rb: "Ruby", rs: "Rust", scala: "Scala", sh: "Shell",
  sql: "SQL", swift: "Swift", tex: "TeX", toml: "TOML", ts: "TypeScript", v: "Verilog", vba: "VisualBasic",
  xml: "XML", yaml: "YAML",
};
const HLJS = {
  x86asm: "Assembly", armasm: "Assembly", mipsasm: "Assembly", avrasm: "Assembly", dos: "Batchfile", c: "C",
  csharp: "C#", cpp: "C++", clojure: "Clojure", cmake: "CMake", cos: "?", coffeescript: "CoffeeScript", css: "CSS",
  dart: "Dart", dockerfile: "Dockerfile", elixir: "Elixir", erlang: "Erlang", fortran: "Fortran", go: "Go",
  groovy: "Groovy", haskell: "Haskell", xml: "XML", java: "Java", javascript: "JavaScript", json: "JSON",
  julia: "Julia", kotlin: "Kotlin", lisp: "Lisp", scheme: "Lisp", lua: "Lua", makefile: "Makefile",
  markdown: "Markdown", matlab: "MATLAB", objectivec: "Objective-C", ocaml: "OCaml", delphi: "Pascal",
  perl: "Perl", php: "PHP", powershell: "PowerShell", prolog: "Prolog", python: "Python", r: "R", ruby: "Ruby",
  rust: "Rust", scala: "Scala", bash: "Shell", shell: "Shell", sql: "SQL", swift: "Swift", latex: "TeX",
  ini: "TOML", typescript: "TypeScript", verilog: "Verilog", vbnet: "VisualBasic", vbscript: "VisualBasic",
  yaml: "YAML", plaintext: "dialog",
};

async function main() {
  const [list, outPath] = process.argv.slice(2);
  const model = new ModelOperations();
  const lines = fs.readFileSync(list, "utf8").split("\n").filter(Boolean);
  const out = [];
  let done = 0;
  for (const line of lines) {
    const [id, cls, file] = line.split("\t");
    const text = fs.readFileSync(file, "latin1").slice(0, 100000);
    let vs = "dialog", vsConf = 0;
    try {
      const r = await model.runModel(text);
      if (r.length) { vs = VSCODE[r[0].languageId] || "?"; vsConf = r[0].confidence; }
    } catch (e) { vs = "dialog"; }
    const h = hljs.highlightAuto(text.slice(0, 20000));
    const hl = h.language ? (HLJS[h.language] || "?") : "dialog";
    out.push([id, cls, vs, vsConf.toFixed(4), hl, h.relevance].join("\t"));
    if (++done % 200 === 0) process.stderr.write(`\r  peers: ${done}/${lines.length}`);
  }
  process.stderr.write(`\r  peers: ${done}/${lines.length}\n`);
  fs.writeFileSync(outPath, out.join("\n") + "\n");
}

main();
