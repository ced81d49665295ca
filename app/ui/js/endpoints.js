// The service's endpoint listing: "id\tname" and an optional "\t[tag]" per line.

/** Endpoints in listing order: {id, name, tag} with tag "", "kestrune", "other-effect" or "no-effects". */
export function parseEndpoints(text) {
  const endpoints = [];
  for (const line of text.split('\n')) {
    const fields = line.split('\t');
    if (fields.length < 2 || fields[0] === '') continue;
    const tag = /^\[(.*)\]$/.exec(fields[2] ?? '');
    endpoints.push({ id: fields[0], name: fields[1], tag: tag ? tag[1] : '' });
  }
  return endpoints;
}

/** The listed name of an endpoint id, or the id itself when it is not listed. */
export function endpointName(listingText, id) {
  return parseEndpoints(listingText).find((endpoint) => endpoint.id === id)?.name ?? id;
}
