int folio_dummy = 0;
