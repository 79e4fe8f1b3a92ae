// The chain's text as a list of stages, and back. The library judges the text; this only splits
// it the way the library does (stages by ',', name from options by the first '=', options by ':',
// key from value by the first '='), so the controls can show what the text says.

const trim = (s) => s.replace(/^[ \t]+|[ \t]+$/g, '');

export function parseChain(text) {
  return text.split(',').map((stage) => {
    const at = stage.indexOf('=');
    const name = trim(at < 0 ? stage : stage.slice(0, at));
    const options = at < 0 ? [] : stage.slice(at + 1).split(':');
    const params = options.map((option) => {
      const eq = option.indexOf('=');
      return eq < 0 ? [trim(option), ''] : [trim(option.slice(0, eq)), trim(option.slice(eq + 1))];
    });
    return { name, params };
  });
}

export function formatChain(stages) {
  return stages
    .map(({ name, params }) => {
      const options = params.map(([key, value]) => `${key}=${value}`).join(':');
      return options ? `${name}=${options}` : name;
    })
    .join(',');
}

// The family a stage names, by name or alias, ignoring the case of A-Z.
export function findFamily(effects, name) {
  const folded = name.toLowerCase();
  return effects.find((e) => e.name === folded || e.aliases.includes(folded)) ?? null;
}

// The parameter a key names in a family, ignoring case.
export function findParameter(family, key) {
  const folded = key.toLowerCase();
  return family.parameters.find((p) => p.name === folded) ?? null;
}

// A shell-safe command line that runs the same job with the native tool.
export function commandLine(input, output, text, bits) {
  const quote = (s) => (/^[\w.,=:+\/-]+$/.test(s) ? s : `'${s.replace(/'/g, `'\\''`)}'`);
  const options = bits ? `--bits ${bits} ` : '';
  return `wavfx ${options}${quote(input)} ${quote(output)} ${quote(text)}`;
}
